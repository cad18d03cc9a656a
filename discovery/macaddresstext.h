// How wide a MAC address text ("02-00-00-12-34-5F") can be in a font, for fields sized to fit one.
#pragma once

#include <QString>

class QFont;

// The MAC address text that is widest in the font: hex digits differ in width in most
// proportional fonts, so every digit place holds the widest of them.
QString WidestMacAddressText(const QFont &font);
