#include "app/cli/devicecommands.h"

#include "app/cli/consolereport.h"
#include "app/cli/journalcommands.h"
#include "app/cli/workflowwait.h"
#include "app/workflows/fleetupload.h"
#include "app/workflows/journalrecorder.h"
#include "app/workflows/webfilecheck.h"
#include "discovery/relyndeviceexport.h"
#include "discovery/relynnoreply.h"
#include "ipassign/answerwait.h"
#include "ipassign/changetarget.h"
#include "ipassign/freeaddress.h"
#include "ipassign/relynipchange.h"
#include "support/nethelpers.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>
#include <memory>

namespace cli {

std::string alignedRows(const std::vector<std::vector<std::string>> &rows) {
    std::vector<std::size_t> widths;
    for (const auto &row : rows) {
        widths.resize(std::max(widths.size(), row.size()));
        for (std::size_t i = 0; i < row.size(); ++i) {
            // Columns are measured in characters, not bytes.
            widths[i] = std::max(widths[i],
                                 static_cast<std::size_t>(QString::fromStdString(row[i]).size()));
        }
    }
    std::string text;
    for (const auto &row : rows) {
        std::string line;
        for (std::size_t i = 0; i < row.size(); ++i) {
            line += row[i];
            if (i + 1 < row.size()) {
                line.append(widths[i] - QString::fromStdString(row[i]).size() + 2, ' ');
            }
        }
        while (!line.empty() && line.back() == ' ') {
            line.pop_back();
        }
        text += line + '\n';
    }
    return text;
}

namespace {

bool severalInterfaces(const QList<TRelynPar> &records) {
    return std::any_of(records.begin(), records.end(), [&](const TRelynPar &r) {
        return r.Interface != records.first().Interface;
    });
}

// The last cell of a device's line: the interface when devices answered on several, and how
// to reach a device that this computer cannot.
QString whereNote(const TRelynPar &record, bool showInterface) {
    QStringList note;
    if (showInterface) {
        note << QStringLiteral("on %1").arg(record.Interface);
    }
    if (!record.Reachable) {
        note << QStringLiteral("UNREACHABLE from %1 (%2): give it an address there with "
                               "change-ip")
                    .arg(record.Interface, record.Network);
    }
    return note.join(QStringLiteral("  "));
}

} // namespace

std::string deviceCsv(const QList<TRelynPar> &records) {
    return RelynDevicesCsv(records).toStdString();
}

void printSearchNotes(const TRelynSearchOutcome &outcome, const TRelynSearchScope &scope,
                      std::ostream &err, const std::function<TRelynFirewall()> &firewall) {
    for (const QString &line : outcome.Skipped) {
        err << "quillet-cli: " << printable(line, Tabs::Replace) << '\n';
    }
    if (outcome.RefusedSends > 0) {
        err << "quillet-cli: "
            << text((outcome.RefusedSends == 1
                         ? CliText::tr("the system refused %1 send of the range search (no route "
                                       "or no neighbour)")
                         : CliText::tr("the system refused %1 sends of the range search (no route "
                                       "or no neighbour)"))
                        .arg(outcome.RefusedSends))
            << '\n';
    }
    if (!outcome.Devices.isEmpty()) {
        return;
    }
    for (const QString &line : RelynSearchNoReplyHint(scope, outcome.Asked, firewall())) {
        err << line.toStdString() << '\n';
    }
}

QList<TRelynPar> sortedByAddress(const QList<TRelynPar> &records) {
    TRelynDeviceList list;
    list.Assign(records);
    try {
        list.SortBy(rcIPAddress);
    } catch (const std::exception &) {
        // The sort leaves the rows as they were: arrival order.
    }
    return list.Records();
}

std::string deviceTable(const QList<TRelynPar> &records) {
    std::vector<std::vector<std::string>> rows;
    const bool showInterface = severalInterfaces(records);
    for (const TRelynPar &r : records) {
        rows.push_back({printable(r.IPAddress), printable(r.MACAddress), printable(r.Firmware),
                        printable(r.DeviceType), printable(r.Description),
                        printable(whereNote(r, showInterface))});
    }
    return alignedRows(rows);
}

std::string deviceJson(const QList<TRelynPar> &records) {
    return RelynDevicesJson(records).toStdString();
}

bool isDottedAddress(const QString &text) {
    static const QRegularExpression form(
        QStringLiteral("^(25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9]?[0-9])"
                       "(\\.(25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9]?[0-9])){3}$"));
    return form.match(text).hasMatch();
}

QList<UploadJob> uploadToAll(UploadKind kind, const QString &file, const QStringList &addresses,
                             std::ostream &out, std::ostream &err, bool verify, int parallel,
                             const std::shared_ptr<TJournalRecorder> &recorder) {
    const bool prefixed = addresses.size() > 1;
    qsizetype width = 0;
    for (const QString &address : addresses) {
        width = std::max(width, address.size());
    }
    TUploadSettings settings;
    settings.ShareEcho = true;
    TFleetUpload fleet(settings);
    fleet.SetVerification(verify);
    fleet.SetParallel(parallel);
    const TFleetUpload::TKind fleetKind =
        kind == UploadKind::Web ? TFleetUpload::fkWeb : TFleetUpload::fkFirmware;
    TJournalRecorder::Watch(recorder, fleet, fleetKind, file);
    fleet.SetReportFactory([&](int, const QString &address) {
        const std::string prefix =
            prefixed ? (address.leftJustified(width) + QStringLiteral("  ")).toStdString()
                     : std::string();
        return std::make_unique<ConsoleReport>(out, err, prefix);
    });
    // Ctrl+C stops every transfer, restart wait and check still going, and the summary tells
    // which devices it caught.
    startAndWait(
        fleet, &TFleetUpload::AllFinished, [&] { fleet.Start(fleetKind, file, addresses); },
        [&fleet, &err] {
            err << "quillet-cli: " << text(CliText::tr("interrupted; stopping the uploads"))
                << std::endl;
            fleet.Cancel();
        });
    QList<UploadJob> jobs;
    for (const TFleetDevice &device : fleet.Devices()) {
        jobs.append({device.Address, TFleetUpload::OutcomeText(device.Outcome),
                     device.Outcome == TDeviceUpload::uoDone, device.Note(), device.Verified});
    }
    return jobs;
}

std::string retryCommand(UploadKind kind, const QString &file, const QList<UploadJob> &jobs) {
    // Quoted for a POSIX shell, so that the line can be pasted as it is.
    const auto quoted = [](const QString &word) {
        static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_./:@%+=,-]+$"));
        if (plain.match(word).hasMatch())
            return word;
        return u'\'' + QString(word).replace(u'\'', QStringLiteral("'\\''")) + u'\'';
    };
    QStringList words{QStringLiteral("quillet-cli"),
                      kind == UploadKind::Web ? QStringLiteral("upload-web")
                                              : QStringLiteral("upload-fw"),
                      quoted(file)};
    const qsizetype fixed = words.size();
    for (const UploadJob &job : jobs) {
        if (job.failed())
            words << job.address;
    }
    if (words.size() == fixed)
        return {};
    return text(CliText::tr("To try the failed devices again: ")) + printable(words.join(u' ')) +
           '\n';
}

std::string uploadSummary(const QList<UploadJob> &jobs) {
    const bool reasons = std::any_of(jobs.begin(), jobs.end(),
                                     [](const UploadJob &job) { return !job.reason.isEmpty(); });
    const bool checked = std::any_of(jobs.begin(), jobs.end(),
                                     [](const UploadJob &job) { return !job.verified.isEmpty(); });
    std::vector<std::vector<std::string>> rows{{"ADDRESS", "OUTCOME"}};
    if (checked) {
        rows.front().push_back("VERIFIED");
    }
    if (reasons) {
        rows.front().push_back("REASON");
    }
    int done = 0;
    int verified = 0;
    int differing = 0;
    for (const UploadJob &job : jobs) {
        rows.push_back({job.address.toStdString(), job.outcome.toStdString()});
        if (checked) {
            rows.back().push_back(job.verified.toStdString());
        }
        if (reasons) {
            rows.back().push_back(printable(job.reason));
        }
        done += job.done ? 1 : 0;
        verified += job.verified == QStringLiteral("verified") ? 1 : 0;
        differing += job.verified == QStringLiteral("differs") ? 1 : 0;
    }
    return alignedRows(rows) +
           TFleetUpload::SummaryLine(done, static_cast<int>(jobs.size()), verified, differing)
               .toStdString() +
           '\n';
}

namespace {

// Where a search asks, from --interface, --range and --rate; a usage error's text otherwise.
std::optional<QString> searchScope(const QCommandLineParser &parser, TRelynSearchScope &scope) {
    scope.Interfaces = parser.values(QStringLiteral("interface"));
    qint64 addresses = 0;
    for (const QString &text : parser.values(QStringLiteral("range"))) {
        TRelynRange range;
        QString error;
        if (!RelynParseRange(text, range, error)) {
            return error;
        }
        scope.Ranges.append(range);
        addresses += range.Count();
    }
    if (addresses > TRelynSearchScope::MaxRangeAddresses) {
        return CliText::tr("The ranges hold %1 addresses; at most a /16 (65536) in all.")
            .arg(addresses);
    }
    if (!scope.Ranges.isEmpty() && !scope.Interfaces.isEmpty()) {
        return CliText::tr("--interface limits a broadcast; a range search goes by the "
                           "routing table.");
    }
    bool numeric = false;
    scope.Rate = parser.value(QStringLiteral("rate")).toInt(&numeric);
    if (!numeric || scope.Rate < 1 || scope.Rate > 1000000) {
        return CliText::tr("The rate must be a number of datagrams per second from 1 to "
                           "1000000.");
    }
    return std::nullopt;
}

int uploadCommand(const CommandCall &call, UploadKind kind) {
    const Console console = call.console;
    const bool web = kind == UploadKind::Web;
    CommandParser command(
        call, web ? CliText::tr("Uploads a web file to each device over TFTP, waits until it "
                                "has restarted and checks over HTTP that it serves the new "
                                "file.\nSeveral devices are served side by side.")
                  : CliText::tr("Uploads a firmware image to each device over TFTP.\nSeveral "
                                "devices are served side by side."));
    command.addArgument(QStringLiteral("FILE"),
                        web ? CliText::tr("The web file.") : CliText::tr("The firmware image."));
    command.addArgument(QStringLiteral("ADDRESS"),
                        CliText::tr("A device's IPv4 address; one or more."),
                        QStringLiteral("ADDRESS..."));
    if (web) {
        command.parser().addOption(
            {QStringLiteral("no-verify"),
             CliText::tr("Do not check over HTTP that each device serves the new web file.")});
    }
    command.parser().addOption(
        {QStringLiteral("parallel"),
         CliText::tr("How many transfers run at once; the other devices wait their turn "
                     "(default %1).")
             .arg(TFleetUpload::DefaultParallel),
         QStringLiteral("N"), QString::number(TFleetUpload::DefaultParallel)});
    addNoJournalOption(command);
    if (auto status = command.parse(2, -1)) {
        return *status;
    }
    bool numeric = false;
    const int parallel = command.parser().value(QStringLiteral("parallel")).toInt(&numeric);
    if (!numeric || parallel < 1 || parallel > 10000) {
        return command.usageError(
            CliText::tr("--parallel takes a number of transfers from 1 to 10000."));
    }
    const QString file = command.positional().at(0);
    const QStringList addresses = command.positional().mid(1);
    for (qsizetype i = 0; i < addresses.size(); ++i) {
        if (!isDottedAddress(addresses[i])) {
            return command.usageError(
                CliText::tr("'%1' is not an IPv4 address such as 192.168.1.20.").arg(addresses[i]));
        }
        if (addresses.indexOf(addresses[i]) != i) {
            return command.usageError(
                CliText::tr("%1 is named twice; one upload per device.").arg(addresses[i]));
        }
    }
    if (!QFileInfo(file).isFile()) {
        return reportFailure(console, text(CliText::tr("%1: no such file").arg(file)));
    }
    // Refused once here rather than once for every device.
    if (const QString refusal = web ? WebFileRefusal(file) : QString(); !refusal.isEmpty()) {
        return reportFailure(console, printable(refusal));
    }
    const bool verify = web && !command.parser().isSet(QStringLiteral("no-verify"));
    const auto recorder = journalRecorder(call, command);
    const QList<UploadJob> jobs =
        uploadToAll(kind, file, addresses, console.out, console.err, verify, parallel, recorder);
    printJournalMessages(*recorder, console.err);
    if (addresses.size() > 1) {
        console.out << '\n' << uploadSummary(jobs);
    }
    console.out << retryCommand(kind, file, jobs);
    // A check that Ctrl+C cut short fails the run as an interrupted upload does.
    const bool allDone = std::none_of(jobs.begin(), jobs.end(), [](const UploadJob &job) {
        return job.failed() || job.verified == QStringLiteral("cancelled");
    });
    return allDone ? Success : Failure;
}

} // namespace

namespace {

// The interface a user named, as the search knows it; a usage error's text for one that is
// not up or cannot broadcast.
std::optional<QString> unknownInterface(const CommandCall &call, const QString &name) {
    if (name.isEmpty() || call.search) {
        return std::nullopt;
    }
    for (const TRelynInterface &interface : MakeSystemNetwork()->BroadcastInterfaces()) {
        if (interface.Name == name) {
            return std::nullopt;
        }
    }
    return CliText::tr("%1: no such interface that is up and can broadcast.")
        .arg(QString::fromStdString(printable(name)));
}

} // namespace

int searchCommand(const CommandCall &call) {
    const Console console = call.console;
    CommandParser command(
        call, CliText::tr("Broadcasts one discovery query out of every network interface, as the "
                          "search window\ndoes, and lists every device that answers: IP address, "
                          "MAC address,\nfirmware, device type and description, in ascending "
                          "address order.\nA device this computer cannot reach (its address lies "
                          "outside the networks\nof the interface it answered on) is marked. With "
                          "--range, the query goes to\nevery address of the ranges instead, also "
                          "behind routers."));
    command.parser().addOption(
        {QStringLiteral("json"), CliText::tr("Print a JSON array of objects instead.")});
    command.parser().addOption(
        {QStringLiteral("csv"), CliText::tr("Print CSV with a header line instead.")});
    command.parser().addOption({QStringLiteral("types"),
                                CliText::tr("Read the device type names from FILE (section "
                                            "GlobalTypes)."),
                                QStringLiteral("FILE")});
    command.parser().addOption(
        {QStringLiteral("interface"),
         CliText::tr("Broadcast only out of this interface; may be repeated."),
         QStringLiteral("NAME")});
    command.parser().addOption(
        {QStringLiteral("range"),
         CliText::tr("Ask every address of CIDR (e.g. 203.0.113.0/24) instead of "
                     "broadcasting; may be repeated, at most a /16 in all."),
         QStringLiteral("CIDR")});
    command.parser().addOption({QStringLiteral("rate"),
                                CliText::tr("Datagrams per second of a range search (default %1).")
                                    .arg(TRelynSearchScope::DefaultRate),
                                QStringLiteral("N"),
                                QString::number(TRelynSearchScope::DefaultRate)});
    command.parser().addOption(
        {QStringLiteral("changes"),
         CliText::tr("Print only what changed since the previous search of the same "
                     "interfaces or ranges: devices new, moved, with other firmware, "
                     "gone.")});
    addNoJournalOption(command);
    if (auto status = command.parse(0, 0)) {
        return *status;
    }
    TRelynSearchScope scope;
    if (const auto error = searchScope(command.parser(), scope)) {
        return command.usageError(*error);
    }
    const bool changes = command.parser().isSet(QStringLiteral("changes"));
    if (changes && command.parser().isSet(QStringLiteral("no-journal"))) {
        return command.usageError(
            CliText::tr("--changes compares with the journal; --no-journal keeps none."));
    }
    if (changes && command.parser().isSet(QStringLiteral("csv"))) {
        return command.usageError(CliText::tr("--changes prints text or JSON."));
    }
    for (const QString &name : scope.Interfaces) {
        if (const auto unknown = unknownInterface(call, name)) {
            return command.usageError(*unknown);
        }
    }
    const QString types = command.parser().value(QStringLiteral("types"));
    // The window reads the names from its settings file, which may be missing; a file named
    // here that is missing is a typing error, not a request for the built-in names.
    if (!types.isEmpty() && !QFileInfo(types).isFile()) {
        return reportFailure(console, text(CliText::tr("%1: no such file").arg(types)));
    }
    TRelynSearchOutcome outcome;
    try {
        if (call.search) {
            outcome.Devices = call.search(types);
        } else {
            outcome = RunRelynScopedSearch(types, scope);
        }
        outcome.Devices = sortedByAddress(outcome.Devices);
    } catch (const std::exception &failure) {
        QString message = QString::fromStdString(failure.what());
        message.replace(QStringLiteral("\r\n"), QStringLiteral(": "));
        return reportFailure(console, text(message));
    }
    const auto recorder = journalRecorder(call, command);
    const QString scopeText = TJournalRecorder::ScopeText(scope);
    recorder->Searched(outcome.Devices, scopeText);
    QList<TJournalMarked> marks;
    if (changes) {
        if (TJournal *journal = recorder->Journal(); journal && journal->Writable()) {
            marks = journal->Marks(scopeText);
        }
    }
    printJournalMessages(*recorder, console.err);
    if (changes) {
        if (!recorder->Journal()->Writable()) {
            return reportFailure(console, "without a journal there is nothing to compare with");
        }
        if (command.parser().isSet(QStringLiteral("json"))) {
            console.out << changesJson(marks);
        } else if (marks.isEmpty()) {
            console.err << text(CliText::tr("Nothing changed since the previous search.")) << '\n';
        } else {
            console.out << changesTable(marks);
        }
    } else if (command.parser().isSet(QStringLiteral("json"))) {
        console.out << deviceJson(outcome.Devices);
    } else if (command.parser().isSet(QStringLiteral("csv"))) {
        console.out << deviceCsv(outcome.Devices);
    } else if (outcome.Devices.isEmpty()) {
        // Standard output stays empty, so a script that reads rows reads none.
        console.err << text(CliText::tr("No device answered.")) << '\n';
    } else {
        console.out << deviceTable(outcome.Devices);
    }
    if (!call.search) {
        printSearchNotes(outcome, scope, console.err);
    }
    return Success;
}

namespace {

// The devices a search finds for an IP change: every interface, or the one named.
QList<TRelynPar> searchForChange(const CommandCall &call, const QString &interface) {
    if (call.search)
        return call.search(QString());
    TRelynSearchScope scope;
    if (!interface.isEmpty())
        scope.Interfaces = {interface};
    return RunRelynScopedSearch(QString(), scope).Devices;
}

// The outcome of an IP change as the journal keeps it: the first line of a failure's message.
QString changeOutcome(const TRelynIPChangeOutcome &outcome, const QString &success) {
    return outcome.Success ? success : outcome.Message.section(QStringLiteral("\r\n"), 0, 0);
}

// Where a device moves from and to, for the journal.
struct Move {
    TJournalRecorder &recorder;
    QString mac;
    QString from; // empty when no search saw the device
    QString to;
};

// Sends the change out of the target's interface and, unless told not to, searches until the
// device answers at its new address.
int moveDevice(const CommandCall &call, const Move &move, const QString &interface, bool check,
               double waitSeconds) {
    const Console console = call.console;
    const QString &mac = move.mac;
    const QString &address = move.to;
    TRelynIPChange change;
    change.SetInterface(interface);
    const TRelynIPChangeOutcome outcome = change.ChangeIP(mac, address);
    const auto record = [&](const QString &words) {
        move.recorder.IpChanged(mac, move.from, address, words);
        printJournalMessages(move.recorder, console.err);
    };
    QString message = outcome.Message;
    message.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    if (!outcome.Success) {
        record(changeOutcome(outcome, {}));
        return reportFailure(console, text(message));
    }
    // The datagram is sent blind, so only the device itself can tell whether it moved.
    if (!check) {
        record(QStringLiteral("sent, not checked"));
        console.out << text(message) << '\n';
        return Success;
    }
    const int waitMs = static_cast<int>(waitSeconds * 1000);
    // Without a test's search, the real one: every interface, as the search command asks.
    const SearchFunction find = call.search ? call.search : [](const QString &typesFile) {
        return RunRelynScopedSearch(typesFile, TRelynSearchScope()).Devices;
    };
    const auto found = RelynFindDeviceAt(find, mac, address, waitMs);
    record(found ? QStringLiteral("done") : QStringLiteral("no answer at the new address"));
    if (found) {
        console.out << text(CliText::tr("Device %1 answers at %2.")
                                .arg(found->MACAddress, found->IPAddress))
                    << '\n';
        return Success;
    }
    return reportFailure(
        console, text(CliText::tr("No device with MAC %1 answered at %2 "
                                  "within %3 s.")
                          .arg(RelynCanonicalMac(mac), address, QString::number(waitSeconds))));
}

void addInterfaceOption(CommandParser &command, const QString &what) {
    command.parser().addOption({QStringLiteral("interface"), what, QStringLiteral("NAME")});
}

void addWaitOption(CommandParser &command) {
    command.parser().addOption(
        {QStringLiteral("wait"),
         CliText::tr("How long to search for the device at its new address (default 10)."),
         QStringLiteral("SECONDS"), QStringLiteral("10")});
}

// --wait and --interface of change-ip and rescue; a usage error's status when one is wrong.
std::optional<int> readMoveOptions(CommandParser &command, const CommandCall &call,
                                   double &waitSeconds, QString &interface) {
    bool numeric = false;
    waitSeconds = command.parser().value(QStringLiteral("wait")).toDouble(&numeric);
    if (!numeric || !(waitSeconds > 0) || waitSeconds > 3600) {
        return command.usageError(CliText::tr("The wait must be a number of seconds from "
                                              "more than 0 to 3600."));
    }
    interface = command.parser().value(QStringLiteral("interface"));
    if (const auto unknown = unknownInterface(call, interface)) {
        return command.usageError(*unknown);
    }
    return std::nullopt;
}

} // namespace

int changeIpCommand(const CommandCall &call) {
    const Console console = call.console;
    CommandParser command(call, CliText::tr("Gives the device with the MAC address MAC the IP "
                                            "address ADDRESS, after making sure\nthat nothing "
                                            "answers at ADDRESS yet, then searches until that "
                                            "device answers there.\nThe change goes out only "
                                            "of the interface the device answers a search on."));
    command.addArgument(
        QStringLiteral("MAC"),
        CliText::tr("The device's MAC address, e.g. 02-00-00-12-34-5F or 02:00:00:12:34:5f."));
    command.addArgument(QStringLiteral("ADDRESS"), CliText::tr("The new IPv4 address."));
    command.parser().addOption(
        {QStringLiteral("arp"),
         CliText::tr("Only enter the address in this computer's neighbour table.")});
    addInterfaceOption(command, CliText::tr("Look for the device on this interface only, and "
                                            "send the change out of it even when the device "
                                            "does not answer."));
    addWaitOption(command);
    command.parser().addOption(
        {QStringLiteral("no-check"), CliText::tr("Do not search for the device afterwards.")});
    addNoJournalOption(command);
    if (auto status = command.parse(2, 2)) {
        return *status;
    }
    double waitSeconds = 0;
    QString named;
    if (auto status = readMoveOptions(command, call, waitSeconds, named)) {
        return *status;
    }
    const QString mac = command.positional().at(0);
    const QString address = command.positional().at(1);
    const auto recorder = journalRecorder(call, command);
    if (command.parser().isSet(QStringLiteral("arp"))) {
        // The neighbour table mode sends nothing and does not move the device: there is
        // nothing to look for.
        TRelynIPChange change;
        change.SetArpOnly(true);
        const TRelynIPChangeOutcome outcome = change.ChangeIP(mac, address);
        if (RelynIsMacAddress(mac)) {
            recorder->IpChanged(mac, {}, address,
                                changeOutcome(outcome, QStringLiteral("neighbour table only")));
            printJournalMessages(*recorder, console.err);
        }
        QString message = outcome.Message;
        message.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        if (!outcome.Success) {
            return reportFailure(console, text(message));
        }
        console.out << text(message) << '\n';
        return Success;
    }
    if (!RelynIsMacAddress(mac)) {
        return reportFailure(console, text(RelynIPChangeMessages().MsgMACSyntax));
    }
    // The datagram names the device by two bytes only: it must reach the device's own LAN and
    // no other.
    const TChangeTarget target = RelynChangeTarget(searchForChange(call, named), mac, named);
    if (!target.Refusal.isEmpty()) {
        return reportFailure(console, text(target.Refusal));
    }
    const QString from = target.Device ? target.Device->IPAddress : QString();
    return moveDevice(call, {*recorder, mac, from, address}, target.Interface,
                      !command.parser().isSet(QStringLiteral("no-check")), waitSeconds);
}

int rescueCommand(const CommandCall &call) {
    const Console console = call.console;
    CommandParser command(call, CliText::tr("Gives a device that answers from outside the "
                                            "networks of its interface (a factory\naddress) a "
                                            "free address of that interface's network, and "
                                            "searches until it\nanswers there."));
    command.addArgument(QStringLiteral("MAC"), CliText::tr("The device's MAC address."));
    addInterfaceOption(command, CliText::tr("Look for the device on this interface only."));
    addWaitOption(command);
    addNoJournalOption(command);
    if (auto status = command.parse(1, 1)) {
        return *status;
    }
    double waitSeconds = 0;
    QString named;
    if (auto status = readMoveOptions(command, call, waitSeconds, named)) {
        return *status;
    }
    const QString mac = command.positional().at(0);
    if (!RelynIsMacAddress(mac)) {
        return reportFailure(console, text(RelynIPChangeMessages().MsgMACSyntax));
    }
    const TChangeTarget target = RelynChangeTarget(searchForChange(call, named), mac);
    if (!target.Refusal.isEmpty() || !target.Device) {
        return reportFailure(console, text(target.Refusal));
    }
    const TRelynPar &device = *target.Device;
    if (device.Reachable) {
        console.out << text(CliText::tr("Device %1 at %2 is reachable from %3: there is nothing "
                                        "to rescue.")
                                .arg(device.MACAddress, device.IPAddress, device.Interface))
                    << '\n';
        return Success;
    }
    TRelynInterface link;
    for (const TRelynInterface &interface : MakeSystemNetwork()->BroadcastInterfaces()) {
        if (interface.Name == device.Interface) {
            link = interface;
        }
    }
    const TFreeAddressProposal proposal = ProposeFreeAddress(SystemFreeAddressInputs(link));
    if (!proposal.Address) {
        return reportFailure(console, text(proposal.Reason));
    }
    const QString address = RelynAddressText(*proposal.Address);
    console.out << text(CliText::tr("Giving %1 (at %2) the free address %3 of %4 (%5).")
                            .arg(device.MACAddress, device.IPAddress, address, device.Interface,
                                 link.NetworksText()))
                << '\n';
    const auto recorder = journalRecorder(call, command);
    return moveDevice(call, {*recorder, mac, device.IPAddress, address}, device.Interface, true,
                      waitSeconds);
}

int uploadWebCommand(const CommandCall &call) {
    return uploadCommand(call, UploadKind::Web);
}

int uploadFirmwareCommand(const CommandCall &call) {
    return uploadCommand(call, UploadKind::Firmware);
}

} // namespace cli
