#include "app/core/documentopener.h"

#include <QProcess>
#include <QUrl>

TDocumentOpener::TDocumentOpener(QString program, QObject *parent)
    : QObject(parent)
    , FProgram(std::move(program)) {
}

void TDocumentOpener::Open(const QString &path) {
    Start(QUrl::fromLocalFile(path).toString(), path);
}

void TDocumentOpener::OpenUrl(const QUrl &url) {
    Start(url.toString(), url.toString());
}

void TDocumentOpener::Start(const QString &argument, const QString &reported) {
    auto *opener = new QProcess(this);
    // The opener may hand the page to a browser that keeps running with these channels open.
    opener->setStandardOutputFile(QProcess::nullDevice());
    opener->setStandardErrorFile(QProcess::nullDevice());
    // A child that could not be started never finishes; one that started always does.
    auto report = [this, opener, reported](bool opened) {
        opener->deleteLater();
        emit Finished(reported, opened);
    };
    connect(opener, &QProcess::finished, this, [report](int exitCode, QProcess::ExitStatus status) {
        report(status == QProcess::NormalExit && exitCode == 0);
    });
    connect(opener, &QProcess::errorOccurred, this, [report](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            report(false);
    });
    opener->start(FProgram, {argument});
}

#include "moc_documentopener.cpp"
