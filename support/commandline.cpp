#include "support/commandline.h"

#include "support/programfolder.h"

#include <QFileInfo>

#include <cstdlib>
#include <unistd.h>

namespace {

bool IsWordBreak(QChar c) {
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

bool IsExecutableFile(const QString &path) {
    const QFileInfo info(path);
    return info.isFile() && ::access(QFile::encodeName(path).constData(), X_OK) == 0;
}

} // namespace

QStringList SplitCommandLine(const QString &commandLine) {
    QStringList words;
    const qsizetype n = commandLine.size();
    qsizetype i = 0;
    while (true) {
        while (i < n && IsWordBreak(commandLine[i]))
            ++i;
        if (i >= n)
            break;
        QString word;
        bool quoted = false;
        while (i < n && (quoted || !IsWordBreak(commandLine[i]))) {
            const QChar c = commandLine[i];
            if (c == QLatin1Char('\\')) {
                qsizetype run = 0;
                while (i < n && commandLine[i] == QLatin1Char('\\')) {
                    ++run;
                    ++i;
                }
                if (i < n && commandLine[i] == QLatin1Char('"')) {
                    word += QString(run / 2, QLatin1Char('\\'));
                    if (run % 2 == 1) {
                        word += QLatin1Char('"');
                        ++i;
                    }
                    // An even run leaves the quote to toggle the grouping below.
                } else {
                    word += QString(run, QLatin1Char('\\'));
                }
                continue;
            }
            if (c == QLatin1Char('"'))
                quoted = !quoted;
            else
                word += c;
            ++i;
        }
        words += word;
    }
    return words;
}

QString QuoteArgument(const QString &word) {
    bool needsQuotes = word.isEmpty();
    for (QChar c : word) {
        if (IsWordBreak(c) || c == QLatin1Char('"'))
            needsQuotes = true;
    }
    if (!needsQuotes)
        return word;

    QString result(QLatin1Char('"'));
    qsizetype backslashes = 0;
    for (QChar c : word) {
        if (c == QLatin1Char('\\')) {
            ++backslashes;
            continue;
        }
        if (c == QLatin1Char('"')) {
            // Backslashes before a quote are doubled, and one more escapes the quote.
            result += QString(backslashes * 2 + 1, QLatin1Char('\\'));
        } else {
            result += QString(backslashes, QLatin1Char('\\'));
        }
        backslashes = 0;
        result += c;
    }
    // Trailing backslashes sit before the closing quote, so they are doubled too.
    result += QString(backslashes * 2, QLatin1Char('\\'));
    result += QLatin1Char('"');
    return result;
}

QString FindProgram(const QString &word, const QString &programFolder, const QString &searchPath) {
    if (word.isEmpty())
        return QString();
    if (word.contains(QLatin1Char('/')))
        return IsExecutableFile(word) ? word : QString();

    QStringList folders{programFolder};
    folders += searchPath.split(QLatin1Char(':'));
    for (QString folder : folders) {
        if (folder.isEmpty())
            continue;
        if (!folder.endsWith(QLatin1Char('/')))
            folder += QLatin1Char('/');
        const QString candidate = folder + word;
        if (IsExecutableFile(candidate))
            return candidate;
    }
    return QString();
}

QString FindProgram(const QString &word) {
    const char *path = std::getenv("PATH");
    return FindProgram(word, ProgramFolder(), path ? QFile::decodeName(path) : QString());
}
