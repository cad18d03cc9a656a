// Readable Qt values in GoogleTest failure messages. GoogleTest finds these only where they are
// declared, so a test that compares Qt values includes this header.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <ostream>

// Quoted, with control characters escaped, so a stray "\r" or tab shows.
void PrintTo(const QString &text, std::ostream *out);
// One text per line: report lines are long, and a list usually differs in one of them.
void PrintTo(const QStringList &lines, std::ostream *out);
// Quoted, with every byte outside printable ASCII escaped; a long array shows its start and
// its size only.
void PrintTo(const QByteArray &bytes, std::ostream *out);
