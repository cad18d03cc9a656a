#include "app/cli/journalcommands.h"

#include "app/cli/consolereport.h"
#include "app/cli/devicecommands.h"
#include "app/core/journalexport.h"
#include "app/workflows/journalrecorder.h"
#include "ipassign/relynipchange.h"
#include "support/exporttext.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>

namespace cli {

namespace {

// The words of the changes, in English for scripts or in the user's language for people.
QStringList changeWords(int marks, bool shown) {
    static const std::pair<TJournalMark, const char *> words[] = {
        {jmNew, QT_TRANSLATE_NOOP("CliText", "new")},
        {jmMoved, QT_TRANSLATE_NOOP("CliText", "moved")},
        {jmFirmware, QT_TRANSLATE_NOOP("CliText", "firmware changed")},
        {jmGone, QT_TRANSLATE_NOOP("CliText", "gone")}};
    QStringList texts;
    for (const auto &[mark, word] : words)
        if (marks & mark)
            texts << (shown ? CliText::tr(word) : QString::fromLatin1(word));
    return texts;
}

// "2026-03-01" from the start of that day here, or a time as ISO 8601 writes it.
QDateTime sinceTime(const QString &text) {
    const QDate day = QDate::fromString(text, Qt::ISODate);
    if (day.isValid())
        return day.startOfDay();
    return QDateTime::fromString(text, Qt::ISODate);
}

} // namespace

void addNoJournalOption(CommandParser &command) {
    command.parser().addOption(
        {QStringLiteral("no-journal"), CliText::tr("Record nothing in the site journal.")});
}

std::shared_ptr<TJournalRecorder> journalRecorder(const CommandCall &call, CommandParser &command) {
    const bool off = command.parser().isSet(QStringLiteral("no-journal"));
    return std::make_shared<TJournalRecorder>(off ? QString() : call.journal);
}

void printJournalMessages(TJournalRecorder &recorder, std::ostream &err) {
    for (const QString &message : recorder.TakeMessages())
        err << kProgram << ": " << printable(message) << '\n';
}

std::string changesTable(const QList<TJournalMarked> &marks) {
    std::vector<std::vector<std::string>> rows;
    for (const TJournalMarked &mark : marks) {
        QStringList before;
        if (mark.Marks & jmMoved)
            before << CliText::tr("was at %1").arg(mark.Previous.Address);
        if (mark.Marks & jmFirmware)
            before << CliText::tr("firmware was %1").arg(mark.Previous.Firmware);
        rows.push_back({changeWords(mark.Marks, true).join(QStringLiteral(", ")).toStdString(),
                        printable(mark.Device.Address), printable(mark.Device.Mac),
                        printable(mark.Device.Firmware), printable(mark.Device.Type),
                        printable(mark.Device.Description),
                        printable(before.join(QStringLiteral(", ")))});
    }
    return alignedRows(rows);
}

std::string changesJson(const QList<TJournalMarked> &marks) {
    QJsonArray rows;
    for (const TJournalMarked &mark : marks) {
        const bool before = !(mark.Marks & jmNew);
        rows.append(QJsonObject{
            {QStringLiteral("changes"), QJsonArray::fromStringList(changeWords(mark.Marks, false))},
            {QStringLiteral("mac"), mark.Device.Mac},
            {QStringLiteral("ip"), mark.Device.Address},
            {QStringLiteral("previous_ip"), before ? mark.Previous.Address : QJsonValue()},
            {QStringLiteral("firmware"), mark.Device.Firmware},
            {QStringLiteral("previous_firmware"), before ? mark.Previous.Firmware : QJsonValue()},
            {QStringLiteral("type"), mark.Device.Type},
            {QStringLiteral("description"), mark.Device.Description},
            {QStringLiteral("interface"), mark.Device.Interface}});
    }
    // Escaped as the device list is: a device's text never acts on a terminal.
    return exporttext::Json(QJsonDocument(rows)).toStdString();
}

int historyCommand(const CommandCall &call) {
    const Console console = call.console;
    CommandParser command(
        call, CliText::tr("Lists what the site journal recorded, newest first: the devices "
                          "each search\nfound new, moved or with other firmware, every upload "
                          "with its file and outcome,\nand every IP change."));
    command.parser().addOption(
        {QStringLiteral("json"), CliText::tr("Print a JSON array of objects instead.")});
    command.parser().addOption(
        {QStringLiteral("csv"), CliText::tr("Print CSV with a header line instead.")});
    command.parser().addOption({QStringLiteral("mac"),
                                CliText::tr("Only this device's events; may be repeated."),
                                QStringLiteral("MAC")});
    command.parser().addOption(
        {QStringLiteral("since"),
         CliText::tr("Only events from DATE on (2026-03-01, or a time such as "
                     "2026-03-01T14:00)."),
         QStringLiteral("DATE")});
    if (auto status = command.parse(0, 0)) {
        return *status;
    }
    TJournalFilter filter;
    for (const QString &mac : command.parser().values(QStringLiteral("mac"))) {
        if (!RelynIsMacAddress(mac)) {
            return command.usageError(
                CliText::tr("'%1' is not a MAC address such as 02-00-00-12-34-5F.").arg(mac));
        }
        filter.Macs << RelynCanonicalMac(mac);
    }
    if (command.parser().isSet(QStringLiteral("since"))) {
        filter.Since = sinceTime(command.parser().value(QStringLiteral("since")));
        if (!filter.Since.isValid()) {
            return command.usageError(CliText::tr("The date must read like 2026-03-01 or "
                                                  "2026-03-01T14:00."));
        }
    }
    QList<TJournalEntry> entries;
    // Reading never makes a journal where none was kept.
    TJournalRecorder recorder(QFileInfo::exists(call.journal) ? call.journal : QString());
    if (TJournal *journal = recorder.Journal()) {
        entries = journal->History(filter);
    }
    printJournalMessages(recorder, console.err);
    if (command.parser().isSet(QStringLiteral("json"))) {
        console.out << JournalHistoryJson(entries).toStdString();
    } else if (command.parser().isSet(QStringLiteral("csv"))) {
        console.out << JournalHistoryCsv(entries).toStdString();
    } else if (entries.isEmpty()) {
        console.err << text(CliText::tr("The journal holds no such events.")) << '\n';
    } else {
        // The name column only when some device has a name.
        const bool names = std::any_of(entries.begin(), entries.end(),
                                       [](const TJournalEntry &e) { return !e.Name.isEmpty(); });
        std::vector<std::vector<std::string>> rows;
        for (const TJournalEntry &entry : entries) {
            std::vector<std::string> row{entry.At.toLocalTime()
                                             .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                                             .toStdString(),
                                         JournalKindShown(entry.Kind).toStdString(),
                                         printable(entry.Mac())};
            if (names)
                row.push_back(printable(entry.Name));
            row.push_back(printable(entry.Address()));
            row.push_back(printable(JournalDetailsText(entry)));
            rows.push_back(row);
        }
        console.out << alignedRows(rows);
    }
    return Success;
}

} // namespace cli
