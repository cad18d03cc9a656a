#pragma once

#include <QString>
#include <QStringList>

// Command lines are single texts, split into words by the rules of the platform the devices'
// tools came from: blanks separate words, double quotes group a word and are removed, a
// backslash run before a quote is halved and an odd one leaves a literal quote.
QStringList SplitCommandLine(const QString &commandLine);

// Quotes one word so that SplitCommandLine gives it back unchanged, whatever blanks, quotes or
// backslashes it holds; an empty word becomes "". Every caller that puts a path into a
// command line goes through here.
QString QuoteArgument(const QString &word);

// The file a command's first word names. A word with a "/" is taken as it is; otherwise the
// program folder is searched first, then each folder of searchPath (":"-separated). The current
// folder is never searched: an empty entry of the search path is skipped. Gives an empty text
// when no executable file is found.
QString FindProgram(const QString &word, const QString &programFolder, const QString &searchPath);
QString FindProgram(const QString &word);
