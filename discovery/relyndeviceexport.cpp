#include "discovery/relyndeviceexport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

namespace {

// Descriptions come from whoever owns a device: never let a spreadsheet run one as a formula
// (some also start one after a line break or a ";").
QString FormulaSafe(QString cell) {
    static const QString starters = QStringLiteral("=+-@\t\r\n;");
    if (!cell.isEmpty() && starters.contains(cell.front()))
        cell.prepend(u'\'');
    return cell;
}

// C0, DEL and C1, as in the text output: a terminal acts on them (0x9B alone starts an escape
// sequence). A tab does no harm there and stays.
bool IsControl(QChar c) {
    return c.unicode() < 0x20 || (c.unicode() >= 0x7F && c.unicode() <= 0x9F);
}

QString CsvCell(QString cell) {
    cell = FormulaSafe(cell);
    for (QChar &c : cell)
        if (IsControl(c) && c != u'\t')
            c = u'?';
    if (cell.contains(u'"') || cell.contains(u','))
        cell = u'"' + cell.replace(u'"', QStringLiteral("\"\"")) + u'"';
    return cell;
}

QString TsvCell(QString cell) {
    cell = FormulaSafe(cell);
    for (QChar &c : cell)
        if (c == u'\t' || c == u'\n' || c == u'\r')
            c = u' ';
    return cell;
}

} // namespace

QStringList RelynDeviceCells(const TRelynPar &record) {
    return {record.IPAddress,  record.MACAddress,  record.Firmware,
            record.DeviceType, record.Description, record.Interface};
}

QString RelynDevicesCsv(const QList<TRelynPar> &records) {
    QString text = QStringLiteral("ip,mac,firmware,type,description,interface,reachable\r\n");
    for (const TRelynPar &record : records) {
        QStringList cells = RelynDeviceCells(record);
        cells << (record.Reachable ? QStringLiteral("true") : QStringLiteral("false"));
        for (QString &cell : cells)
            cell = CsvCell(cell);
        text += cells.join(u',') + QStringLiteral("\r\n");
    }
    return text;
}

QString RelynDevicesJson(const QList<TRelynPar> &records) {
    QJsonArray devices;
    for (const TRelynPar &r : records)
        devices.append(QJsonObject{{QStringLiteral("ip"), r.IPAddress},
                                   {QStringLiteral("mac"), r.MACAddress},
                                   {QStringLiteral("firmware"), r.Firmware},
                                   {QStringLiteral("type"), r.DeviceType},
                                   {QStringLiteral("description"), r.Description},
                                   {QStringLiteral("interface"), r.Interface},
                                   {QStringLiteral("reachable"), r.Reachable}});
    // JSON escapes C0 controls itself but writes C1 ones raw; as \u escapes they reach a
    // terminal harmlessly and a JSON reader unchanged.
    const QString json = QString::fromUtf8(QJsonDocument(devices).toJson(QJsonDocument::Indented));
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

QString RelynDevicesTsv(const QList<TRelynPar> &records, const QStringList &captions) {
    QString text = captions.join(u'\t') + u'\n';
    for (const TRelynPar &record : records) {
        QStringList cells = RelynDeviceCells(record);
        for (QString &cell : cells)
            cell = TsvCell(cell);
        text += cells.join(u'\t') + u'\n';
    }
    return text;
}
