#include "tools/testsupport/printers.h"

#include <cstdio>

namespace {

void PrintEscaped(unsigned char c, bool keepHighBytes, std::ostream *out) {
    switch (c) {
    case '"':
        *out << "\\\"";
        return;
    case '\\':
        *out << "\\\\";
        return;
    case '\n':
        *out << "\\n";
        return;
    case '\r':
        *out << "\\r";
        return;
    case '\t':
        *out << "\\t";
        return;
    default:
        break;
    }
    if (c < 0x20 || c == 0x7F || (c >= 0x80 && !keepHighBytes)) {
        char hex[5];
        std::snprintf(hex, sizeof hex, "\\x%02X", c);
        *out << hex;
    } else {
        *out << static_cast<char>(c);
    }
}

void PrintQuoted(const QByteArray &bytes, bool keepHighBytes, std::ostream *out) {
    *out << '"';
    for (const char c : bytes)
        PrintEscaped(static_cast<unsigned char>(c), keepHighBytes, out);
    *out << '"';
}

} // namespace

void PrintTo(const QString &text, std::ostream *out) {
    // UTF-8 bytes stay as they are: umlauts and the like read as text.
    PrintQuoted(text.toUtf8(), true, out);
}

void PrintTo(const QStringList &lines, std::ostream *out) {
    *out << '{';
    for (const QString &line : lines) {
        *out << "\n  ";
        PrintTo(line, out);
    }
    *out << (lines.isEmpty() ? "}" : "\n}");
}

void PrintTo(const QByteArray &bytes, std::ostream *out) {
    // A web file or an upload runs to many kilobytes; the start tells which one it is.
    constexpr qsizetype shown = 64;
    if (bytes.size() <= 2 * shown) {
        PrintQuoted(bytes, false, out);
        return;
    }
    PrintQuoted(bytes.first(shown), false, out);
    *out << "... (" << bytes.size() << " bytes)";
}
