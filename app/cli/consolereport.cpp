#include "app/cli/consolereport.h"

#include <QStringList>
#include <string_view>

namespace cli {

// C0, DEL and C1: a terminal acts on all of them (0x9B alone starts an escape sequence).
std::string printable(const QString &text, Tabs tabs) {
    QString shown = text;
    for (QChar &c : shown) {
        const bool control = c.unicode() < 0x20 || (c.unicode() >= 0x7F && c.unicode() <= 0x9F);
        if (control && !(tabs == Tabs::Keep && c == QLatin1Char('\t')))
            c = QChar(u'?');
    }
    return shown.toStdString();
}

void ConsoleReport::AddInfo(const QString &line) {
    // The client's captured output arrives as one block of lines.
    QString text = line;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    for (const QString &part : text.split(QLatin1Char('\n'))) {
        if (part.isEmpty()) {
            // An empty line stays empty but for its address, without trailing blanks.
            Out << std::string_view(Prefix).substr(0, Prefix.find_last_not_of(' ') + 1) << '\n';
        } else {
            Out << Prefix << printable(part, Tabs::Keep) << '\n';
        }
    }
    Out.flush();
}

void ConsoleReport::ErrorBox(const QString &text) {
    QString flat = text;
    flat.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    Err << "quillet-cli: " << Prefix << printable(flat, Tabs::Keep) << std::endl;
}

} // namespace cli
