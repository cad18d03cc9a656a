// Whole numbers as the settings file and the address fields write them.
#pragma once

#include <QStringView>
#include <optional>

// A number in the toolkit's integer syntax: leading blanks, an optional sign, then decimal
// digits or hex digits after "$", "x", "X", "0x" or "0X"; only values that fit 32 bits.
std::optional<qint64> ParseIntText(QStringView text);
