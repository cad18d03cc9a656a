#include "support/exporttext.h"

#include <QJsonDocument>

namespace exporttext {

bool IsControl(QChar c) {
    return c.unicode() < 0x20 || (c.unicode() >= 0x7F && c.unicode() <= 0x9F);
}

QString FormulaSafe(QString cell) {
    static const QString starters = QStringLiteral("=+-@\t\r\n;");
    if (!cell.isEmpty() && starters.contains(cell.front()))
        cell.prepend(u'\'');
    return cell;
}

QString Json(const QJsonDocument &document) {
    const QString json = QString::fromUtf8(document.toJson(QJsonDocument::Indented));
    QString escaped;
    escaped.reserve(json.size());
    for (const QChar c : json) {
        if (c.unicode() >= 0x7F && c.unicode() <= 0x9F)
            escaped += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        else
            escaped += c;
    }
    return escaped;
}

} // namespace exporttext
