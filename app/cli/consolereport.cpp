#include "consolereport.h"

#include <QStringList>
#include <string_view>

namespace cli {

namespace {

// Device and client texts may carry control characters; a terminal should not act on them.
std::string printable(const QString &line) {
    QString shown;
    shown.reserve(line.size());
    for (const QChar c : line) {
        const bool control = (c.unicode() < 0x20 && c != QLatin1Char('\t')) ||
                             (c.unicode() >= 0x7F && c.unicode() <= 0x9F);
        shown += control ? QChar(u'?') : c;
    }
    return shown.toStdString();
}

} // namespace

void ConsoleReport::AddInfo(const QString &line) {
    // The client's captured output arrives as one block of lines.
    QString text = line;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    for (const QString &part : text.split(QLatin1Char('\n'))) {
        if (part.isEmpty()) {
            // An empty line stays empty but for its address, without trailing blanks.
            Out << std::string_view(Prefix).substr(0, Prefix.find_last_not_of(' ') + 1) << '\n';
        } else {
            Out << Prefix << printable(part) << '\n';
        }
    }
    Out.flush();
}

void ConsoleReport::ErrorBox(const QString &text) {
    QString flat = text;
    flat.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    Err << "quillet-cli: " << Prefix << printable(flat) << std::endl;
}

} // namespace cli
