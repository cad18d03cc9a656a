#include "discovery/macaddresstext.h"

#include <QFontMetricsF>

QString WidestMacAddressText(const QFont &font) {
    const QFontMetricsF fm(font);
    QChar widest = u'0';
    for (QChar digit : QStringLiteral("0123456789ABCDEF"))
        if (fm.horizontalAdvance(digit) > fm.horizontalAdvance(widest))
            widest = digit;
    return QStringLiteral("00-00-00-00-00-00").replace(u'0', widest);
}
