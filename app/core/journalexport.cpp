#include "app/core/journalexport.h"

#include "support/exporttext.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

namespace {

QString HistoryCsvCell(const QString &text) {
    QString cell;
    cell.reserve(text.size());
    for (const QChar c : text) {
        if (exporttext::IsControl(c) && c != u'\t' && c != u'\n' && c != u'\r')
            cell += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            cell += c;
    }
    cell = exporttext::FormulaSafe(cell);
    if (cell.contains(u'"') || cell.contains(u',') || cell.contains(u'\n') || cell.contains(u'\r'))
        cell = u'"' + cell.replace(u'"', QStringLiteral("\"\"")) + u'"';
    return cell;
}

QString TimeText(const TJournalEntry &entry) {
    return entry.At.toUTC().toString(Qt::ISODateWithMs);
}

QString SizeText(qint64 size) {
    return size < 0 ? QString() : QString::number(size);
}

} // namespace

QString JournalHistoryCsv(const QList<TJournalEntry> &entries) {
    QString text = QStringLiteral("time,event,mac,name,address,new_address,interface,firmware,"
                                  "type,description,changes,file,kind,size,sha256,outcome,"
                                  "reason,verification\r\n");
    for (const TJournalEntry &e : entries) {
        QStringList cells = {TimeText(e), JournalKindText(e.Kind), e.Mac(), e.Name, e.Address()};
        const TJournalUpload &u = e.Upload;
        switch (e.Kind) {
        case jeSearch:
            cells << QString() << e.Seen.Interface << e.Seen.Firmware << e.Seen.Type
                  << e.Seen.Description << JournalChangesText(e.Changes) << QString() << QString()
                  << QString() << QString() << QString() << QString() << QString();
            break;
        case jeUpload:
            cells << QString() << QString() << QString() << QString() << QString() << QString()
                  << u.File << JournalFileKindText(u.Kind) << SizeText(u.Size) << u.Sha256
                  << u.Outcome << u.Reason << u.Verification;
            break;
        case jeIpChange:
            cells << e.IpChange.NewAddress << QString() << QString() << QString() << QString()
                  << QString() << QString() << QString() << QString() << QString()
                  << e.IpChange.Outcome << QString() << QString();
            break;
        }
        for (QString &cell : cells)
            cell = HistoryCsvCell(cell);
        text += cells.join(u',') + QStringLiteral("\r\n");
    }
    return text;
}

QString JournalHistoryJson(const QList<TJournalEntry> &entries) {
    QJsonArray rows;
    for (const TJournalEntry &e : entries) {
        QJsonObject row{{QStringLiteral("time"), TimeText(e)},
                        {QStringLiteral("event"), JournalKindText(e.Kind)},
                        {QStringLiteral("mac"), e.Mac()},
                        {QStringLiteral("name"), e.Name},
                        {QStringLiteral("address"), e.Address()}};
        const TJournalUpload &u = e.Upload;
        switch (e.Kind) {
        case jeSearch:
            row.insert(QStringLiteral("interface"), e.Seen.Interface);
            row.insert(QStringLiteral("firmware"), e.Seen.Firmware);
            row.insert(QStringLiteral("type"), e.Seen.Type);
            row.insert(QStringLiteral("description"), e.Seen.Description);
            row.insert(QStringLiteral("changes"), JournalChangesText(e.Changes));
            break;
        case jeUpload:
            row.insert(QStringLiteral("file"), u.File);
            row.insert(QStringLiteral("kind"), JournalFileKindText(u.Kind));
            row.insert(QStringLiteral("size"), u.Size < 0 ? QJsonValue() : QJsonValue(u.Size));
            row.insert(QStringLiteral("sha256"), u.Sha256);
            row.insert(QStringLiteral("outcome"), u.Outcome);
            row.insert(QStringLiteral("reason"), u.Reason);
            row.insert(QStringLiteral("verification"), u.Verification);
            break;
        case jeIpChange:
            row.insert(QStringLiteral("new_address"), e.IpChange.NewAddress);
            row.insert(QStringLiteral("outcome"), e.IpChange.Outcome);
            break;
        }
        rows.append(row);
    }
    return exporttext::Json(QJsonDocument(rows));
}
