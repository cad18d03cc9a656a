// The device commands' own logic without a network: the device table and JSON, the address
// rule that keeps names from being looked up, argument checks that stop before anything is
// sent, and the fleet summary.
#include "app/cli/cli.h"
#include "app/cli/consolereport.h"
#include "app/cli/devicecommands.h"
#include "app/core/language.h"
#include "discovery/relynerror.h"
#include "tools/testsupport/printers.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTranslator>
#include <sstream>

namespace {

TRelynPar device(const char *ip, const char *description = "") {
    TRelynPar record;
    record.IPAddress = QString::fromLatin1(ip);
    record.MACAddress = QStringLiteral("02-00-00-00-00-0A");
    record.Firmware = QStringLiteral("1-6-5.03");
    record.DeviceType = QStringLiteral("Sensor");
    record.Description = QString::fromLatin1(description);
    return record;
}

struct Output {
    int status = -1;
    std::string out;
    std::string err;
};

Output run(const QStringList &words, const cli::SearchFunction &search = {},
           const QString &journal = {}) {
    std::ostringstream out;
    std::ostringstream err;
    Output result;
    const QStringList args = QStringList{QStringLiteral("quillet-cli")} + words;
    result.status =
        search ? cli::run(args, {out, err}, search, journal) : cli::run(args, {out, err});
    result.out = out.str();
    result.err = err.str();
    return result;
}

} // namespace

TEST(SearchCommand, ListsDevicesByAddressNumberInAlignedColumns) {
    const auto search = [](const QString &) {
        TRelynPar noInfo;
        noInfo.IPAddress = QStringLiteral("192.0.2.100");
        // 0x9B is the one-byte form of ESC [ on a terminal.
        return QList<TRelynPar>{device("192.0.2.9", "Hall \x1b[2J \x9b"
                                                    "31mB\x85"),
                                noInfo, device("10.0.0.1", "Gr\xfc\xdf\xa0")};
    };
    const Output table = run({QStringLiteral("search")}, search);
    EXPECT_EQ(table.status, 0) << table.err;
    EXPECT_EQ(table.out, "10.0.0.1     02-00-00-00-00-0A  1-6-5.03  Sensor  Grüß\u00a0\n"
                         "192.0.2.9    02-00-00-00-00-0A  1-6-5.03  Sensor  Hall ?[2J ?31mB?\n"
                         "192.0.2.100  N/A                N/A       N/A\n");

    const Output json = run({QStringLiteral("search"), QStringLiteral("--json")}, search);
    EXPECT_EQ(json.status, 0);
    const QJsonArray devices = QJsonDocument::fromJson(QByteArray::fromStdString(json.out)).array();
    ASSERT_EQ(devices.size(), 3);
    EXPECT_EQ(devices[1].toObject()[QStringLiteral("description")].toString(),
              QString::fromLatin1("Hall \x1b[2J \x9b"
                                  "31mB\x85"))
        << "JSON keeps the text whole";
    // ... and in escapes that a terminal does not act on.
    EXPECT_NE(json.out.find("Hall \\u001b[2J \\u009b31mB\\u0085"), std::string::npos) << json.out;
    EXPECT_EQ(devices[2].toObject()[QStringLiteral("mac")].toString(), QStringLiteral("N/A"));
}

TEST(SearchCommand, CsvQuotesCellsAndDefusesFormulas) {
    const auto search = [](const QString &) {
        TRelynPar away = device("10.0.0.11", "=HYPERLINK(\"x\")");
        away.Interface = QStringLiteral("eth0");
        away.Reachable = false;
        return QList<TRelynPar>{away, device("192.0.2.9", "-2, or \t+3"), device("192.0.2.8", "@a"),
                                device("192.0.2.7", ";x\x1b[2J\x9b"
                                                    "31m\r\ny")};
    };
    const Output csv = run({QStringLiteral("search"), QStringLiteral("--csv")}, search);
    EXPECT_EQ(csv.status, 0) << csv.err;
    EXPECT_EQ(
        csv.out,
        "ip,mac,firmware,type,description,interface,reachable\r\n"
        "10.0.0.11,02-00-00-00-00-0A,1-6-5.03,Sensor,\"'=HYPERLINK(\"\"x\"\")\",eth0,false\r\n"
        "192.0.2.7,02-00-00-00-00-0A,1-6-5.03,Sensor,';x?[2J?31m??y,,true\r\n"
        "192.0.2.8,02-00-00-00-00-0A,1-6-5.03,Sensor,'@a,,true\r\n"
        "192.0.2.9,02-00-00-00-00-0A,1-6-5.03,Sensor,\"'-2, or \t+3\",,true\r\n");
    const Output usage =
        run({QStringLiteral("search"), QStringLiteral("--range"), QStringLiteral("192.0.2.0/24"),
             QStringLiteral("--rate"), QStringLiteral("0")},
            search);
    EXPECT_EQ(usage.status, 2);
    EXPECT_NE(usage.err.find("The rate must be"), std::string::npos) << usage.err;
}

TEST(SearchCommand, NoDeviceIsAnEmptySuccessAndASocketErrorAFailure) {
    const auto none = [](const QString &) {
        return QList<TRelynPar>{};
    };
    const Output nothing = run({QStringLiteral("search")}, none);
    EXPECT_EQ(nothing.status, 0);
    EXPECT_EQ(nothing.out, "");
    EXPECT_EQ(nothing.err, "No device answered.\n");
    EXPECT_EQ(run({QStringLiteral("search"), QStringLiteral("--json")}, none).out, "[\n]\n");

    QTemporaryDir dir;
    const QString types = dir.filePath(QStringLiteral("types.ini"));
    QFile(types).open(QIODevice::WriteOnly);
    QString typesSeen;
    const auto failing = [&typesSeen](const QString &file) -> QList<TRelynPar> {
        typesSeen = file;
        throw ERelynError(QStringLiteral("Socket Error # 101\r\nNetwork is unreachable"));
    };
    const Output failed =
        run({QStringLiteral("search"), QStringLiteral("--types"), types}, failing);
    EXPECT_EQ(failed.status, 1);
    EXPECT_EQ(failed.out, "");
    EXPECT_EQ(failed.err, "quillet-cli: Socket Error # 101: Network is unreachable\n");
    EXPECT_EQ(typesSeen, types);

    // A names file given by hand that is not there is a typing error: nothing is sent.
    typesSeen.clear();
    const Output missing = run({QStringLiteral("search"), QStringLiteral("--types"),
                                dir.filePath(QStringLiteral("no.ini"))},
                               failing);
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("no.ini: no such file"), std::string::npos) << missing.err;
    EXPECT_TRUE(typesSeen.isEmpty());
}

// The journal through the commands: each search is kept, --changes compares with the one
// before, --no-journal keeps nothing, history filters by MAC and date, and a journal that
// cannot be written is said once without failing the search.
TEST(SearchCommand, JournalKeepsSearchesAndChangesCompareWithThePreviousOne) {
    QTemporaryDir dir;
    const QString journal = dir.filePath(QStringLiteral("journal.sqlite"));
    const auto at = [](const char *ip, const char *mac, const char *firmware = "1-6-5.03") {
        TRelynPar record = device(ip, "Tank");
        record.MACAddress = QString::fromLatin1(mac);
        record.Firmware = QString::fromLatin1(firmware);
        return record;
    };
    QList<TRelynPar> devices{at("192.0.2.11", "02-00-00-00-00-01"),
                             at("192.0.2.12", "02-00-00-00-00-02"),
                             at("192.0.2.13", "02-00-00-00-00-03")};
    const auto search = [&devices](const QString &) {
        return devices;
    };
    const auto history = [&](const QStringList &words) {
        return run(QStringList{QStringLiteral("history")} + words, search, journal);
    };
    EXPECT_EQ(history({QStringLiteral("--json")}).out, "[\n]\n");
    EXPECT_FALSE(QFile::exists(journal)) << "reading made a journal";
    ASSERT_EQ(run({QStringLiteral("search")}, search, journal).status, 0);

    // Lower-case colons name the same device as the search's own form.
    devices = {at("192.0.2.50", "02-00-00-00-00-01"),
               at("192.0.2.13", "02-00-00-00-00-03", "1-7-0.01"),
               at("192.0.2.14", "02-00-00-00-00-04")};
    const Output changes =
        run({QStringLiteral("search"), QStringLiteral("--changes")}, search, journal);
    ASSERT_EQ(changes.status, 0) << changes.err;
    EXPECT_EQ(changes.out,
              "moved             192.0.2.50  02-00-00-00-00-01  1-6-5.03  Sensor  Tank  was at "
              "192.0.2.11\n"
              "firmware changed  192.0.2.13  02-00-00-00-00-03  1-7-0.01  Sensor  Tank  firmware "
              "was 1-6-5.03\n"
              "new               192.0.2.14  02-00-00-00-00-04  1-6-5.03  Sensor  Tank\n"
              "gone              192.0.2.12  02-00-00-00-00-02  1-6-5.03  Sensor  Tank\n");
    // Only a search of the same scope counts as the previous one.
    const Output ranged =
        run({QStringLiteral("search"), QStringLiteral("--changes"), QStringLiteral("--json"),
             QStringLiteral("--range"), QStringLiteral("192.0.2.0/24")},
            search, journal);
    const QJsonArray marks = QJsonDocument::fromJson(QByteArray::fromStdString(ranged.out)).array();
    ASSERT_EQ(marks.size(), 3) << ranged.out;
    EXPECT_EQ(marks.at(0).toObject().value(QStringLiteral("changes")).toArray(),
              QJsonArray{QStringLiteral("new")});
    EXPECT_EQ(marks.at(0).toObject().value(QStringLiteral("previous_ip")), QJsonValue());

    devices.removeFirst();
    EXPECT_EQ(
        run({QStringLiteral("search"), QStringLiteral("--no-journal")}, search, journal).status, 0);
    devices.prepend(at("192.0.2.50", "02-00-00-00-00-01"));
    const Output same =
        run({QStringLiteral("search"), QStringLiteral("--changes")}, search, journal);
    EXPECT_EQ(same.out, "") << "the search with --no-journal was recorded";
    EXPECT_EQ(same.err, "Nothing changed since the previous search.\n");

    const Output one = history({QStringLiteral("--mac"), QStringLiteral("02:00:00:00:00:01")});
    ASSERT_EQ(one.status, 0) << one.err;
    const std::vector<std::string> rows = [&] {
        std::vector<std::string> lines;
        std::istringstream text(one.out);
        for (std::string line; std::getline(text, line);)
            lines.push_back(line);
        return lines;
    }();
    ASSERT_EQ(rows.size(), 2u) << one.out;
    EXPECT_NE(rows[0].find("search  02-00-00-00-00-01  192.0.2.50  moved (firmware 1-6-5.03)"),
              std::string::npos)
        << one.out;
    EXPECT_NE(rows[1].find("192.0.2.11  first seen"), std::string::npos) << one.out;
    const QJsonArray all =
        QJsonDocument::fromJson(QByteArray::fromStdString(history({QStringLiteral("--json")}).out))
            .array();
    EXPECT_EQ(all.size(), 3 + 3);
    EXPECT_EQ(history({QStringLiteral("--since"), QStringLiteral("2999-01-01")}).err,
              "The journal holds no such events.\n");
    EXPECT_EQ(history({QStringLiteral("--mac"), QStringLiteral("02-00")}).status, 2);
    EXPECT_EQ(history({QStringLiteral("--since"), QStringLiteral("yesterday")}).status, 2);
    EXPECT_EQ(
        run({QStringLiteral("search"), QStringLiteral("--changes"), QStringLiteral("--no-journal")},
            search, journal)
            .status,
        2);

    // A folder that cannot hold a journal: the devices are still listed, the reason said.
    const QString nowhere = dir.filePath(QStringLiteral("file/journal.sqlite"));
    QFile blocker(dir.filePath(QStringLiteral("file")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const Output unwritable = run({QStringLiteral("search")}, search, nowhere);
    EXPECT_EQ(unwritable.status, 0);
    EXPECT_EQ(unwritable.out.find("192.0.2.13"), 0u) << unwritable.out;
    EXPECT_NE(unwritable.err.find("quillet-cli: The journal " + nowhere.toStdString() +
                                  " could not be opened"),
              std::string::npos)
        << unwritable.err;
    EXPECT_EQ(run({QStringLiteral("search"), QStringLiteral("--changes")}, search, nowhere).status,
              1);
}

// A range search that nothing answers explains itself as a broadcast does, in its own words.
TEST(SearchNotes, AnEmptyRangeSearchNamesItsAddressesAndTheFirewall) {
    const auto notes = [](const TRelynSearchScope &scope, qint64 refused = 0,
                          TRelynFirewall::TKind kind = TRelynFirewall::fwUfw) {
        TRelynSearchOutcome outcome;
        outcome.RefusedSends = refused;
        std::ostringstream err;
        int looked = 0;
        cli::printSearchNotes(outcome, scope, err, [&looked, kind] {
            ++looked;
            return TRelynFirewall{kind, QString()};
        });
        EXPECT_EQ(looked, 1);
        return err.str();
    };
    TRelynSearchScope ranges;
    QString error;
    ASSERT_TRUE(RelynParseRangeList(QStringLiteral("192.0.2.0/24 198.51.100.7 192.0.2.9"),
                                    ranges.Ranges, error));
    const std::string range = notes(ranges, 3);
    EXPECT_EQ(range, "quillet-cli: the system refused 3 sends of the range search (no route or "
                     "no neighbour)\n"
                     "Asked the 255 addresses 192.0.2.1-192.0.2.254, 198.51.100.7 one by one.\n"
                     "A device answers only at an address of the range, and only when the routers "
                     "on the way pass UDP to and from port 30718.\n"
                     "The firewall ufw is enabled on this computer: unless it lets in the "
                     "replies to this computer's own queries, it drops the devices' replies and "
                     "hides the devices.\n"
                     "This lets the replies (UDP from port 30718) in:\n"
                     "  sudo ufw allow proto udp from any port 30718\n");
    ASSERT_TRUE(RelynParseRangeList(QStringLiteral("198.51.100.7"), ranges.Ranges, error));
    EXPECT_EQ(notes(ranges, 0, TRelynFirewall::fwNone),
              "Asked the address 198.51.100.7.\n"
              "A device answers only at an address of the range, and only when the routers on "
              "the way pass UDP to and from port 30718.\n");
    // The broadcast keeps its hint.
    EXPECT_EQ(notes(TRelynSearchScope(), 0, TRelynFirewall::fwNone),
              "The query went out of the one interface the system chose.\n");
    EXPECT_NE(notes(TRelynSearchScope()).find("cannot match a device's reply to the broadcast"),
              std::string::npos);
}

TEST(DeviceAddresses, OnlyDottedAddressesAreAccepted) {
    for (const char *good : {"192.0.2.11", "0.0.0.0", "255.255.255.255", "10.0.0.1"}) {
        EXPECT_TRUE(cli::isDottedAddress(QString::fromLatin1(good))) << good;
    }
    for (const char *bad : {"localhost", "device.local", "192.0.2", "192.0.2.256", "1.2.3.4.5",
                            "01.2.3.4", " 1.2.3.4", "1.2.3.4 ", "", "0x7f.0.0.1"}) {
        EXPECT_FALSE(cli::isDottedAddress(QString::fromLatin1(bad))) << bad;
    }
}

// These stop before anything is sent: nothing here may reach a network.
TEST(UploadCommand, ArgumentsAreCheckedBeforeAnythingIsSent) {
    const Output name = run({QStringLiteral("upload-web"), QStringLiteral("/no/such.pmf"),
                             QStringLiteral("192.0.2.11"), QStringLiteral("device.local")});
    EXPECT_EQ(name.status, 2);
    EXPECT_NE(name.err.find("'device.local' is not an IPv4 address"), std::string::npos)
        << name.err;

    const Output twice = run({QStringLiteral("upload-fw"), QStringLiteral("/no/such.bin"),
                              QStringLiteral("192.0.2.11"), QStringLiteral("192.0.2.11")});
    EXPECT_EQ(twice.status, 2);
    EXPECT_NE(twice.err.find("named twice"), std::string::npos) << twice.err;

    const Output missing = run({QStringLiteral("upload-web"), QStringLiteral("/no/such.pmf"),
                                QStringLiteral("192.0.2.11")});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "quillet-cli: /no/such.pmf: no such file\n");
    EXPECT_EQ(missing.out, "");
}

TEST(UploadSummary, CountsOnlyDevicesThatReachedDone) {
    const QList<cli::UploadJob> jobs = {
        {QStringLiteral("192.0.2.11"), QStringLiteral("done"), true, QString()},
        {QStringLiteral("192.0.2.100"), QStringLiteral("restart time-out"), false, QString()}};
    EXPECT_EQ(cli::uploadSummary(jobs), "ADDRESS      OUTCOME\n"
                                        "192.0.2.11   done\n"
                                        "192.0.2.100  restart time-out\n"
                                        "1 of 2 devices done\n");
    const QList<cli::UploadJob> reasons = {
        {QStringLiteral("192.0.2.11"), QStringLiteral("done"), true, QString()},
        {QStringLiteral("192.0.2.12"), QStringLiteral("no answer"), false,
         QStringLiteral("The device did not answer \x9b"
                        "31m")}};
    EXPECT_EQ(cli::uploadSummary(reasons), "ADDRESS     OUTCOME    REASON\n"
                                           "192.0.2.11  done\n"
                                           "192.0.2.12  no answer  The device did not answer ?31m\n"
                                           "1 of 2 devices done\n");
}

// A device that serves other pages than it was sent counts as failed for the retry line; one
// that serves no HTTP does not.
TEST(UploadSummary, ChecksShowInTheirColumnAndDifferingDevicesAreRetried) {
    const QList<cli::UploadJob> jobs = {
        {QStringLiteral("192.0.2.11"), QStringLiteral("done"), true, QString(),
         QStringLiteral("verified")},
        {QStringLiteral("192.0.2.12"), QStringLiteral("done"), true,
         QStringLiteral("logo.gif is missing."), QStringLiteral("differs")},
        {QStringLiteral("192.0.2.13"), QStringLiteral("done"), true, QStringLiteral("No HTTP."),
         QStringLiteral("not verified")},
        {QStringLiteral("192.0.2.14"), QStringLiteral("no answer"), false, QStringLiteral("Off.")}};
    EXPECT_EQ(cli::uploadSummary(jobs),
              "ADDRESS     OUTCOME    VERIFIED      REASON\n"
              "192.0.2.11  done       verified\n"
              "192.0.2.12  done       differs       logo.gif is missing.\n"
              "192.0.2.13  done       not verified  No HTTP.\n"
              "192.0.2.14  no answer                Off.\n"
              "3 of 4 devices done, 1 verified, 1 differs\n");
    EXPECT_EQ(cli::retryCommand(cli::UploadKind::Web, QStringLiteral("/srv/a b.pmf"), jobs),
              "To try the failed devices again: quillet-cli upload-web '/srv/a b.pmf' 192.0.2.12 "
              "192.0.2.14\n");
}

// In Czech only what people read changes: JSON, CSV, the device table, the journal's history
// and changes as JSON or CSV, and the outcome words of the upload summary stay as scripts know
// them.
TEST(UploadSummary, CzechChangesNothingScriptsRead) {
    const auto search = [](const QString &) {
        return QList<TRelynPar>{device("192.0.2.11", "Kotelna, sever"), device("192.0.2.2")};
    };
    const QList<cli::UploadJob> jobs = {
        {QStringLiteral("192.0.2.11"), QStringLiteral("done"), true, QString()},
        {QStringLiteral("192.0.2.12"), QStringLiteral("no answer"), false, QString()}};
    const QStringList forms[] = {{QStringLiteral("search")},
                                 {QStringLiteral("search"), QStringLiteral("--json")},
                                 {QStringLiteral("search"), QStringLiteral("--csv")}};
    std::vector<std::string> english;
    for (const QStringList &words : forms)
        english.push_back(run(words, search).out);
    const std::string summary = cli::uploadSummary(jobs);

    // Two journals with the same first search; the second one moves a device and adds one.
    QTemporaryDir dir;
    const QString journal = dir.filePath(QStringLiteral("journal.sqlite"));
    const QString twin = dir.filePath(QStringLiteral("twin.sqlite"));
    const auto later = [](const QString &) {
        QList<TRelynPar> devices{device("192.0.2.50", "Kotelna, sever"), device("192.0.2.2")};
        devices[1].MACAddress = QStringLiteral("02-00-00-00-00-0B");
        return devices;
    };
    ASSERT_EQ(run({QStringLiteral("search")}, search, journal).status, 0);
    ASSERT_EQ(run({QStringLiteral("search")}, search, twin).status, 0);
    const QStringList changesJson{QStringLiteral("search"), QStringLiteral("--changes"),
                                  QStringLiteral("--json")};
    const std::string englishChanges = run(changesJson, later, journal).out;
    const QStringList histories[] = {{QStringLiteral("history"), QStringLiteral("--json")},
                                     {QStringLiteral("history"), QStringLiteral("--csv")},
                                     {QStringLiteral("history")}};
    std::vector<std::string> englishHistories;
    for (const QStringList &words : histories)
        englishHistories.push_back(run(words, search, journal).out);
    EXPECT_NE(englishHistories[0].find("\"changes\": \"moved\""), std::string::npos)
        << englishHistories[0];

    ASSERT_TRUE(InstallUiTranslations(TUiLanguage::Czech));
    const auto uninstall = qScopeGuard([] {
        for (QTranslator *translator : qApp->findChildren<QTranslator *>()) {
            QCoreApplication::removeTranslator(translator);
            delete translator;
        }
    });
    for (std::size_t i = 0; i < english.size(); ++i)
        EXPECT_EQ(run(forms[i], search).out, english[i]);
    EXPECT_EQ(run(changesJson, later, twin).out, englishChanges);
    EXPECT_EQ(run(histories[0], search, journal).out, englishHistories[0]);
    EXPECT_EQ(run(histories[1], search, journal).out, englishHistories[1]);
    // The text forms are for people.
    const std::string text = run(histories[2], search, journal).out;
    EXPECT_NE(text, englishHistories[2]);
    EXPECT_NE(text.find("hledání  02-00-00-00-00-0A  192.0.2.50  přesunuto (firmware 1-6-5.03)"),
              std::string::npos)
        << text;
    EXPECT_EQ(cli::uploadSummary(jobs), "ADDRESS     OUTCOME\n"
                                        "192.0.2.11  done\n"
                                        "192.0.2.12  no answer\n"
                                        "1 z 2 zařízení hotovo\n");
    EXPECT_EQ(summary.substr(summary.size() - 20), "1 of 2 devices done\n");
    const Output rate =
        run({QStringLiteral("search"), QStringLiteral("--rate"), QStringLiteral("0")});
    EXPECT_NE(rate.err.find("quillet-cli: Rychlost musí být"), std::string::npos) << rate.err;
}

TEST(ConsoleReport, EveryLineOfABlockCarriesTheAddress) {
    std::ostringstream out;
    std::ostringstream err;
    cli::ConsoleReport report(out, err, "192.0.2.11  ");
    report.AddInfo(QStringLiteral("curl: (28) Timeout\r\nsecond \x1b[31mline\x9b"
                                  "0m"));
    report.AddInfo(QString());
    report.ErrorBox(QStringLiteral("pmf directory not exist\r\nand succeed not created"));
    EXPECT_EQ(out.str(), "192.0.2.11  curl: (28) Timeout\n"
                         "192.0.2.11  second ?[31mline?0m\n"
                         "192.0.2.11\n");
    EXPECT_EQ(err.str(),
              "quillet-cli: 192.0.2.11  pmf directory not exist and succeed not created\n");
}
