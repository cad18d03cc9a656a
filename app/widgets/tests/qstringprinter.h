// Readable QString values in GoogleTest failure messages.
#pragma once

#include <QString>
#include <QStringList>

#include <ostream>

inline void PrintTo(const QString &text, std::ostream *out) {
    *out << '"' << text.toStdString() << '"';
}

inline void PrintTo(const QStringList &lines, std::ostream *out) {
    *out << '{';
    for (const QString &line : lines)
        *out << "\n  \"" << line.toStdString() << '"';
    *out << (lines.isEmpty() ? "}" : "\n}");
}
