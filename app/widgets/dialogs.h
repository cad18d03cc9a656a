// The one seam through which the main window asks the user something.
#pragma once

#include <QString>

class QWidget;

// Filters are given as "label|patterns|label|patterns"; see QtFilter.
class TDialogs {
public:
    enum TMessageKind { mkWarning, mkError, mkInformation };

    virtual ~TDialogs() = default;
    // The chosen folder, or empty when the user cancels.
    virtual QString ChooseFolder(QWidget *parent, const QString &startFolder) = 0;
    // The chosen file's full path, or empty when the user cancels.
    virtual QString OpenFile(QWidget *parent, const QString &filter,
                             const QString &startFolder) = 0;
    virtual void Message(QWidget *parent, TMessageKind kind, const QString &caption,
                         const QString &text) = 0;
    // A warning with Yes and No; true for Yes. Unless a seam answers, the answer is No, so
    // that nothing goes ahead that nobody agreed to.
    virtual bool Confirm(QWidget *parent, const QString &caption, const QString &text);
    // The path to write to, or empty when the user cancels; filter as for OpenFile.
    virtual QString SaveFile(QWidget *parent, const QString &filter, const QString &startPath) {
        (void)parent, (void)filter, (void)startPath;
        return {};
    }

    // "web files (*.pmf)|*.pmf|all files|*.*" as the toolkit's "web files (*.pmf);;all files
    // (*)". "*.*" means every file, also those without a dot in the name.
    static QString QtFilter(const QString &filter);
    // A file name typed without an extension gets the first one of the chosen filter (as the
    // toolkit writes it: "JSON files (*.json)"); any other name stays as it is.
    static QString WithFilterSuffix(const QString &path, const QString &chosenQtFilter);
};

// The real dialogs.
class TSystemDialogs : public TDialogs {
public:
    QString ChooseFolder(QWidget *parent, const QString &startFolder) override;
    QString OpenFile(QWidget *parent, const QString &filter, const QString &startFolder) override;
    QString SaveFile(QWidget *parent, const QString &filter, const QString &startPath) override;
    void Message(QWidget *parent, TMessageKind kind, const QString &caption,
                 const QString &text) override;
    bool Confirm(QWidget *parent, const QString &caption, const QString &text) override;
};
