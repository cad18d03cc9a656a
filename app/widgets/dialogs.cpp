#include "app/widgets/dialogs.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QRegularExpression>

QString TDialogs::QtFilter(const QString &filter) {
    const QStringList parts = filter.split(u'|');
    QStringList entries;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns = parts[i + 1].split(u';', Qt::SkipEmptyParts);
        for (QString &pattern : patterns)
            if (pattern == QStringLiteral("*.*"))
                pattern = QStringLiteral("*");
        const QString patternText = patterns.join(u' ');
        const QString label = parts[i];
        // The toolkit takes the patterns from the last parentheses of an entry.
        if (label.endsWith(QStringLiteral("(") + patternText + QStringLiteral(")")))
            entries << label;
        else
            entries << label + QStringLiteral(" (") + patternText + QStringLiteral(")");
    }
    return entries.join(QStringLiteral(";;"));
}

QString TSystemDialogs::ChooseFolder(QWidget *parent, const QString &startFolder) {
    return QFileDialog::getExistingDirectory(parent, QString(), startFolder);
}

QString TSystemDialogs::OpenFile(QWidget *parent, const QString &filter,
                                 const QString &startFolder) {
    return QFileDialog::getOpenFileName(parent, QString(), startFolder, QtFilter(filter));
}

QString TSystemDialogs::SaveFile(QWidget *parent, const QString &filter, const QString &startPath) {
    QString chosen;
    const QString path =
        QFileDialog::getSaveFileName(parent, QString(), startPath, QtFilter(filter), &chosen);
    return path.isEmpty() ? path : WithFilterSuffix(path, chosen);
}

QString TDialogs::WithFilterSuffix(const QString &path, const QString &chosenQtFilter) {
    if (!QFileInfo(path).suffix().isEmpty())
        return path;
    static const QRegularExpression pattern(QStringLiteral("\\*\\.([A-Za-z0-9]+)"));
    const QRegularExpressionMatch match = pattern.match(chosenQtFilter);
    return match.hasMatch() ? path + u'.' + match.captured(1) : path;
}

void TSystemDialogs::Message(QWidget *parent, TMessageKind kind, const QString &caption,
                             const QString &text) {
    switch (kind) {
    case mkWarning:
        QMessageBox::warning(parent, caption, text);
        break;
    case mkError:
        QMessageBox::critical(parent, caption, text);
        break;
    case mkInformation:
        QMessageBox::information(parent, caption, text);
        break;
    }
}

bool TDialogs::Confirm(QWidget *, const QString &, const QString &) {
    return false;
}

bool TSystemDialogs::Confirm(QWidget *parent, const QString &caption, const QString &text) {
    return QMessageBox::warning(parent, caption, text, QMessageBox::Yes | QMessageBox::No,
                                QMessageBox::No) == QMessageBox::Yes;
}
