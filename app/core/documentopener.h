// Opens documents with the desktop's opener program and tells whether that worked.
#pragma once

#include <QObject>
#include <QString>

class QUrl;

// The opener's exit status is the answer: an opener that starts and then cannot show the page
// exits with a status other than 0. Each page is opened by a child of its own, watched from the
// event loop, so a slow opener never blocks the window.
class TDocumentOpener : public QObject {
    Q_OBJECT
public:
    explicit TDocumentOpener(QString program = QStringLiteral("xdg-open"),
                             QObject *parent = nullptr);

    // Finished follows in every case, possibly before Open returns.
    void Open(const QString &path);
    // A web address; Finished names it as its text.
    void OpenUrl(const QUrl &url);

signals:
    void Finished(const QString &path, bool opened);

private:
    void Start(const QString &argument, const QString &reported);

    QString FProgram;
};
