#include "discovery/relyndeviceexport.h"

#include "support/exporttext.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

namespace {

QString CsvCell(QString cell) {
    cell = exporttext::FormulaSafe(cell);
    for (QChar &c : cell)
        if (exporttext::IsControl(c) && c != u'\t')
            c = u'?';
    if (cell.contains(u'"') || cell.contains(u','))
        cell = u'"' + cell.replace(u'"', QStringLiteral("\"\"")) + u'"';
    return cell;
}

QString TsvCell(QString cell) {
    cell = exporttext::FormulaSafe(cell);
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
    return exporttext::Json(QJsonDocument(devices));
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
