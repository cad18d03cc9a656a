// The device commands of the real program against simulated devices of the test LAN: search,
// uploads to one device and to a fleet of twenty side by side, the check over HTTP of what each
// device serves afterwards, and the IP change.
#include "app/cli/tests/cliprogram.h"
#include "packer/webfile.h"
#include "tools/testsupport/files.h"
#include "tools/testsupport/lab.h"
#include "tools/testsupport/printers.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <csignal>
#include <iostream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString address(int device) {
    return QString::fromStdString(labtest::deviceAddress(device));
}

QByteArray received(int device, const char *name) {
    QFile file(QString::fromStdString(labtest::tftpDir(device)) + QLatin1Char('/') +
               QLatin1String(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

std::vector<std::string> lines(const std::string &text) {
    std::vector<std::string> result;
    std::size_t from = 0;
    while (from < text.size()) {
        const std::size_t end = text.find('\n', from);
        result.push_back(text.substr(from, end - from));
        from = end == std::string::npos ? text.size() : end + 1;
    }
    return result;
}

bool contains(const std::string &text, const std::string &part) {
    return text.find(part) != std::string::npos;
}

class CliDeviceLab : public testing::Test {
protected:
    void SetUp() override {
        if (!labtest::inLab()) {
            GTEST_SKIP() << labtest::notInLab;
        }
        ASSERT_GE(labtest::deviceCount(), 20);
        // The cases below change only the first two devices (TFTP refusal, new address).
        for (int n = 1; n <= 2; ++n) {
            ASSERT_TRUE(labtest::restartDevice(n)) << n;
        }
        Bytes = testsupport::RandomWebFile(50000);
        File = Dir.filePath(QStringLiteral("Station 7_WEB1_01.pmf"));
        QFile file(File);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(Bytes);
    }

    QTemporaryDir Dir;
    QString File;
    QByteArray Bytes;
};

} // namespace

TEST_F(CliDeviceLab, SearchListsEveryDeviceInAscendingAddressOrder) {
    const CliRun table = runCli({QStringLiteral("search")});
    ASSERT_EQ(table.status, 0) << table.err;
    const std::vector<std::string> rows = lines(table.out);
    ASSERT_EQ(rows.size(), 20u) << table.out;
    for (int n = 1; n <= 20; ++n) {
        const std::string &row = rows[static_cast<std::size_t>(n - 1)];
        // Aligned: the second column starts at the same place on every line.
        EXPECT_EQ(row.substr(0, 12), labtest::deviceAddress(n) + "  ") << row;
        EXPECT_EQ(row.substr(12, 17), labtest::deviceMac(n)) << row;
    }

    const CliRun json = runCli({QStringLiteral("search"), QStringLiteral("--json")});
    ASSERT_EQ(json.status, 0) << json.err;
    const QJsonArray devices = QJsonDocument::fromJson(QByteArray::fromStdString(json.out)).array();
    ASSERT_EQ(devices.size(), 20);
    const QJsonObject first = devices.at(0).toObject();
    EXPECT_EQ(first.keys(),
              (QStringList{QStringLiteral("description"), QStringLiteral("firmware"),
                           QStringLiteral("interface"), QStringLiteral("ip"), QStringLiteral("mac"),
                           QStringLiteral("reachable"), QStringLiteral("type")}));
    EXPECT_EQ(first.value(QStringLiteral("interface")).toString(), QStringLiteral("eth0"));
    EXPECT_EQ(first.value(QStringLiteral("reachable")), QJsonValue(true));
    EXPECT_EQ(first.value(QStringLiteral("ip")).toString(), address(1));
    EXPECT_EQ(devices.at(19).toObject().value(QStringLiteral("mac")).toString().toStdString(),
              labtest::deviceMac(20));
    // A Czech locale leaves what scripts read as it is, byte for byte.
    const QString czech = QStringLiteral("cs_CZ.UTF-8");
    EXPECT_EQ(runCli({QStringLiteral("search"), QStringLiteral("--json")}, 60000, czech).out,
              json.out);
    EXPECT_EQ(runCli({QStringLiteral("search"), QStringLiteral("--csv")}, 60000, czech).out,
              runCli({QStringLiteral("search"), QStringLiteral("--csv")}).out);
    // So does it for the journal: a firmware change that a search in Czech saw, and the history.
    ASSERT_TRUE(labtest::restartDevice(3, {"--firmware", "4.6.0"}));
    const CliRun changed =
        runCli({QStringLiteral("search"), QStringLiteral("--changes"), QStringLiteral("--json")},
               60000, czech);
    ASSERT_EQ(changed.status, 0) << changed.err;
    const QJsonArray marks =
        QJsonDocument::fromJson(QByteArray::fromStdString(changed.out)).array();
    ASSERT_EQ(marks.size(), 1) << changed.out;
    EXPECT_EQ(marks.at(0).toObject().value(QStringLiteral("changes")).toArray(),
              QJsonArray{QStringLiteral("firmware changed")});
    EXPECT_EQ(marks.at(0).toObject().value(QStringLiteral("mac")).toString().toStdString(),
              labtest::deviceMac(3));
    for (const char *form : {"--json", "--csv"}) {
        const QStringList history{QStringLiteral("history"), QString::fromLatin1(form)};
        const CliRun english = runCli(history);
        EXPECT_TRUE(contains(english.out, "firmware changed")) << english.out;
        EXPECT_EQ(runCli(history, 60000, czech).out, english.out) << form;
    }
    EXPECT_TRUE(contains(runCli({QStringLiteral("history")}, 60000, czech).out, "jiný firmware"));
    EXPECT_TRUE(labtest::restartDevice(3));

    // A broken device and one that answers its info query twice spoil nobody's row: the
    // others are listed with their own texts, and what was passed over is said.
    ASSERT_TRUE(labtest::restartDevice(2, {"--zero-length-reply"}));
    ASSERT_TRUE(labtest::restartDevice(3, {"--info-copies", "2", "--description", "three"}));
    const CliRun hostile = runCli({QStringLiteral("search")});
    EXPECT_EQ(hostile.status, 0) << hostile.err;
    EXPECT_EQ(lines(hostile.out).size(), 19u) << hostile.out;
    EXPECT_TRUE(contains(hostile.out, labtest::deviceAddress(3) + "  " + labtest::deviceMac(3)) &&
                contains(hostile.out, "three\n"))
        << hostile.out;
    EXPECT_EQ(hostile.out.find("three", hostile.out.find("three") + 1), std::string::npos)
        << hostile.out;
    EXPECT_TRUE(contains(hostile.err, "quillet-cli: An empty datagram from " +
                                          labtest::deviceAddress(2) + " was skipped.\n"))
        << hostile.err;
    EXPECT_TRUE(labtest::restartDevice(2));
    EXPECT_TRUE(labtest::restartDevice(3));
}

// Hostile responders around proper devices: one floods its discovery answer, one answers as
// 300 other MACs too and gives no info for them, one sends an empty and one an over-long
// datagram, one answers its info query twice. The search keeps its limits and lists every
// proper device with its own text; an IP change and its check end in a few seconds.
TEST_F(CliDeviceLab, HostileRespondersHoldNeitherTheSearchNorAnIpChange) {
    ASSERT_TRUE(labtest::restartDevice(2, {"--zero-length-reply"}));
    ASSERT_TRUE(labtest::restartDevice(3, {"--info-copies", "2"}));
    ASSERT_TRUE(labtest::restartDevice(4, {"--flood-ms", "2", "--flood-for-ms", "60000"}));
    ASSERT_TRUE(labtest::restartDevice(5, {"--fake-macs", "300"}));
    ASSERT_TRUE(labtest::restartDevice(6, {"--oversized-reply"}));
    const auto restore = qScopeGuard([] {
        for (int n = 2; n <= 7; ++n) {
            EXPECT_TRUE(labtest::restartDevice(n)) << n;
        }
    });

    QElapsedTimer clock;
    clock.start();
    const CliRun search = runCli({QStringLiteral("search")});
    const qint64 searchMs = clock.elapsed();
    std::cout << "search among hostile responders: " << searchMs << " ms\n";
    EXPECT_EQ(search.status, 0) << search.err;
    // A flood's repeats and the fake MACs' silence hold neither the collection nor the info
    // queries past a quiet wait (before, each ran to its limit of 1.5 s).
    EXPECT_LT(searchMs, 2000);
    for (int n = 1; n <= 20; ++n) {
        if (n == 2 || n == 6) {
            continue;
        }
        const std::string row = labtest::deviceAddress(n) + "  " + labtest::deviceMac(n);
        const std::size_t at = search.out.find(row);
        ASSERT_NE(at, std::string::npos) << n << search.out.substr(0, 4000);
        const std::string line = search.out.substr(at, search.out.find('\n', at) - at);
        EXPECT_TRUE(contains(line, "1-4-5.00") &&
                    line.ends_with("Simulated device " + std::to_string(n)))
            << line;
        // Heard twice at most (as on two copies of the query), whatever the flood repeats.
        const std::size_t again = search.out.find(row, at + 1);
        EXPECT_EQ(again == std::string::npos ? again : search.out.find(row, again + 1),
                  std::string::npos)
            << n;
    }
    for (const int n : {2, 6}) {
        EXPECT_FALSE(contains(search.out, labtest::deviceAddress(n) + " ")) << n;
    }
    // The fake MACs are listed as they answered, none with the text of the device they came from.
    const std::vector<std::string> rows = lines(search.out);
    const auto fakes = std::count_if(rows.begin(), rows.end(), [](const std::string &row) {
        return contains(row, "02-FA-00-00-");
    });
    EXPECT_GT(fakes, 100) << search.out.substr(0, 4000);
    EXPECT_EQ(
        std::count_if(rows.begin(), rows.end(),
                      [](const std::string &row) { return contains(row, "Simulated device 5"); }),
        1);
    EXPECT_TRUE(contains(search.err, "quillet-cli: An empty datagram from " +
                                         labtest::deviceAddress(2) + " was skipped.\n"))
        << search.err;
    EXPECT_TRUE(
        contains(search.err, "quillet-cli: A datagram of more than 8192 bytes was skipped."))
        << search.err;
    EXPECT_TRUE(contains(search.err, "quillet-cli: Repeated replies from " +
                                         labtest::deviceAddress(4) + " were skipped."))
        << search.err;

    clock.restart();
    const CliRun change =
        runCli({QStringLiteral("change-ip"), QString::fromStdString(labtest::deviceMac(7)),
                QStringLiteral("192.0.2.203"), QStringLiteral("--wait"), QStringLiteral("2")});
    const qint64 changeMs = clock.elapsed();
    std::cout << "change-ip --wait 2 during a flood: " << changeMs << " ms\n";
    EXPECT_EQ(change.status, 0) << change.err;
    EXPECT_EQ(change.out, "Device " + labtest::deviceMac(7) + " answers at 192.0.2.203.\n");
    // The search before, the echo test (about 1.5 s) and the searches after.
    EXPECT_LT(changeMs, 6000);
}

TEST_F(CliDeviceLab, WebUploadToOneDevice) {
    const CliRun run = runCli({QStringLiteral("upload-web"), File, address(1)}, 120000);
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_TRUE(contains(run.out, "Device restart done.\nWeb upload successful.\n")) << run.out;
    EXPECT_FALSE(contains(run.out, "ADDRESS")) << "one device: no summary";
    EXPECT_EQ(received(1, "WEB1"), Bytes);
}

// A page given as the web file is refused by the reader of "webfile list" before anything is
// sent.
TEST_F(CliDeviceLab, FileThatIsNoWebFileIsNotSent) {
    const QString page = Dir.filePath(QStringLiteral("index.htm"));
    QFile file(page);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("<html>Tank 2</html>");
    file.close();
    const QByteArray before = received(5, "WEB1");
    const CliRun run = runCli({QStringLiteral("upload-web"), page, address(5)});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err,
              "quillet-cli: index.htm is not a web file: it does not begin with \"PmF1\".\n");
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(received(5, "WEB1"), before);
}

// Twenty devices side by side take about as long as one: the ratio is printed for the record.
TEST_F(CliDeviceLab, FleetUploadRunsSideBySide) {
    QElapsedTimer clock;
    clock.start();
    const CliRun one = runCli({QStringLiteral("upload-web"), File, address(20)}, 120000);
    const qint64 oneMs = clock.elapsed();
    ASSERT_EQ(one.status, 0) << one.out << one.err;

    QStringList args{QStringLiteral("upload-web"), File};
    for (int n = 1; n <= 20; ++n) {
        args << address(n);
    }
    clock.restart();
    const CliRun fleet = runCli(args, 180000);
    const qint64 fleetMs = clock.elapsed();
    ASSERT_EQ(fleet.status, 0) << fleet.out << fleet.err;
    for (int n = 1; n <= 20; ++n) {
        EXPECT_EQ(received(n, "WEB1"), Bytes) << n;
        EXPECT_TRUE(contains(fleet.out, labtest::deviceAddress(n))) << n;
    }
    EXPECT_TRUE(contains(fleet.out, "192.0.2.11  Device restart done.\n")) << fleet.out;
    // Entries without a reply head: nothing to compare, which fails nobody.
    EXPECT_TRUE(contains(fleet.out, "\nADDRESS     OUTCOME  VERIFIED      REASON\n"
                                    "192.0.2.11  done     not verified  The web file holds no page "
                                    "that can be checked over HTTP.\n"))
        << fleet.out;
    EXPECT_TRUE(contains(fleet.out, "20 of 20 devices done\n")) << fleet.out;

    const double ratio = static_cast<double>(fleetMs) / static_cast<double>(oneMs);
    std::cout << "fleet upload: 1 device " << oneMs << " ms, 20 devices " << fleetMs
              << " ms, ratio " << ratio << std::endl;
    RecordProperty("fleet_ratio", std::to_string(ratio));
    EXPECT_LE(ratio, 1.5);
}

// After the upload each device is checked over HTTP, and the summary says what it serves: the
// new web file, the one it held before, one without an entry, no HTTP at all, or nothing
// because it is off. Devices whose server misbehaves (a flood of bytes, one byte at a time) end
// within the request limit and hold up no other. A device that differs fails the run.
TEST_F(CliDeviceLab, WebUploadIsCheckedOverHttpOnEveryDevice) {
    const std::string logo = webfile::replyHead("image/gif") + std::string("GIF89a\0\x01", 8);
    const QString site = testsupport::WriteWebFile(
        Dir, "Station7_WEB1_02.pmf",
        {{"index.htm", webfile::replyHead("text/html") + "<html>version 2</html>"},
         {"logo.gif", logo}});
    const QString old = testsupport::WriteWebFile(
        Dir, "Station7_WEB1_01.pmf",
        {{"index.htm", webfile::replyHead("text/html") + "<html>version 1</html>"},
         {"logo.gif", logo}});
    const std::vector<std::vector<std::string>> options = {
        {},
        {"--web-file", old.toStdString(), "--http-previous"},
        {"--http-drop", "logo.gif"},
        {"--no-http"},
        {},
        {"--http-huge"},
        {"--http-slow-ms", "300"}};
    QStringList args{QStringLiteral("upload-web"), site};
    for (int n = 1; n <= 7; ++n) {
        ASSERT_TRUE(labtest::restartDevice(n, options[static_cast<std::size_t>(n - 1)])) << n;
        args << address(n);
    }
    ASSERT_TRUE(labtest::setLink(5, false));
    QElapsedTimer clock;
    clock.start();
    const CliRun run = runCli(args, 180000);
    const qint64 fleetMs = clock.elapsed();
    EXPECT_EQ(run.status, 1) << run.out << run.err;
    EXPECT_TRUE(contains(run.out, "192.0.2.11  The device serves the new web file: 2 of 2 pages "
                                  "identical.\n"))
        << run.out;
    EXPECT_TRUE(contains(
        run.out,
        "\nADDRESS     OUTCOME    VERIFIED      REASON\n"
        "192.0.2.11  done       verified\n"
        "192.0.2.12  done       differs       The device does not serve the new web file: "
        "index.htm differs.\n"
        "192.0.2.13  done       differs       The device does not serve the new web file: "
        "logo.gif is missing.\n"
        "192.0.2.14  done       not verified  The device serves no web pages over HTTP: the new "
        "web file could not be checked.\n"
        "192.0.2.15  no answer                The device did not answer at 192.0.2.15: is it "
        "switched on and at this address?\n"
        "192.0.2.16  done       differs       The device does not serve the new web file: "
        "index.htm and logo.gif differ.\n"
        "192.0.2.17  done       not verified  The device serves no web pages over HTTP: the new "
        "web file could not be checked.\n"
        "6 of 7 devices done, 1 verified, 3 differ\n"
        "To try the failed devices again: quillet-cli upload-web " +
            site.toStdString() + " 192.0.2.12 192.0.2.13 192.0.2.15 192.0.2.16\n"))
        << run.out;
    // The slow server costs one request's limit (5 s) beyond the upload, not one per page.
    std::cout << "checked fleet upload: 7 devices " << fleetMs << " ms" << std::endl;
    EXPECT_LT(fleetMs, 45000);
    for (int n = 1; n <= 7; ++n) {
        if (n != 5) {
            EXPECT_FALSE(labtest::logLines(n, "upload name=WEB1").empty()) << n;
        }
    }

    // Without the check the device that serves its old file passes, and nothing is fetched.
    ASSERT_TRUE(labtest::restartDevice(2, options[1]));
    const CliRun unchecked = runCli(
        {QStringLiteral("upload-web"), site, address(2), QStringLiteral("--no-verify")}, 120000);
    EXPECT_EQ(unchecked.status, 0) << unchecked.out << unchecked.err;
    EXPECT_TRUE(contains(unchecked.out, "Web upload successful.\n")) << unchecked.out;
    EXPECT_FALSE(contains(unchecked.out, "web file:")) << unchecked.out;
    EXPECT_TRUE(labtest::logLines(2, "http request").empty());
    for (int n = 3; n <= 7; ++n) {
        EXPECT_TRUE(labtest::restartDevice(n)) << n;
    }
}

// Failing devices fail the run, and the summary says for each why, in the same words as the
// window: a refusing TFTP server, one that is off, a device that is off (which never answered).
TEST_F(CliDeviceLab, FailingDevicesFailTheRunAndTheSummarySaysWhy) {
    ASSERT_TRUE(labtest::setTftp(2, labtest::Tftp::ReadOnly));
    ASSERT_TRUE(labtest::restartDevice(3));
    ASSERT_TRUE(labtest::setTftp(3, labtest::Tftp::Off));
    ASSERT_TRUE(labtest::restartDevice(4));
    ASSERT_TRUE(labtest::setLink(4, false));
    const CliRun run =
        runCli({QStringLiteral("upload-fw"), File, address(1), address(2), address(3), address(4)},
               120000);
    EXPECT_EQ(run.status, 1) << run.out << run.err;
    EXPECT_TRUE(contains(run.out, "192.0.2.11  Firmware upload successful.\n")) << run.out;
    const char *refused =
        "The device refused the file: its TFTP server may be write-protected or busy.";
    EXPECT_TRUE(contains(run.out, std::string("192.0.2.12  ") + refused + "\n")) << run.out;
    EXPECT_TRUE(contains(
        run.out,
        std::string("\nADDRESS     OUTCOME    REASON\n"
                    "192.0.2.11  done\n"
                    "192.0.2.12  failed     ") +
            refused +
            "\n192.0.2.13  failed     The device at 192.0.2.13 answers, but its TFTP server does "
            "not: it may be switched off or busy.\n"
            "192.0.2.14  no answer  The device did not answer at 192.0.2.14: is it switched on and "
            "at this address?\n"
            "1 of 4 devices done\n"
            "To try the failed devices again: quillet-cli upload-fw '" +
            File.toStdString() + "' 192.0.2.12 192.0.2.13 192.0.2.14\n"))
        << run.out;
    // The client's own lines ("curl: (71) ...") stay off the terminal: the reason says it.
    EXPECT_FALSE(contains(run.out, "curl:")) << run.out;
    EXPECT_FALSE(contains(run.err, "curl:")) << run.err;
    EXPECT_EQ(received(1, "X5"), Bytes);
    EXPECT_TRUE(received(2, "X5").isEmpty());
    EXPECT_TRUE(labtest::restartDevice(3));
    EXPECT_TRUE(labtest::restartDevice(4));
}

// The change is sent blind; the program then searches until the device answers at its new
// address, and says so, or says that it did not within the wait.
TEST_F(CliDeviceLab, ChangeIpGivesTheDeviceItsNewAddressAndFindsItThere) {
    const QString free = QStringLiteral("192.0.2.200");
    const CliRun taken = runCli(
        {QStringLiteral("change-ip"), QString::fromStdString(labtest::deviceMac(1)), address(2)});
    EXPECT_EQ(taken.status, 1);
    EXPECT_TRUE(contains(taken.err, "Selected IP address already exists.")) << taken.err;

    // Written as "ip link" shows it.
    const QString colons =
        QString::fromStdString(labtest::deviceMac(1)).replace(QLatin1Char('-'), QLatin1Char(':'));
    const CliRun change = runCli({QStringLiteral("change-ip"), colons.toLower(), free}, 30000);
    EXPECT_EQ(change.status, 0) << change.err;
    EXPECT_EQ(change.out, "Device 02-00-00-00-00-01 answers at 192.0.2.200.\n");
    EXPECT_TRUE(labtest::ping(free.toStdString()));

    // No device has this MAC address: nothing is sent without an interface to send it out of.
    for (int n = 1; n <= 3; ++n) {
        labtest::clearLog(n);
    }
    const CliRun unknown = runCli({QStringLiteral("change-ip"), QStringLiteral("02-00-00-00-00-77"),
                                   QStringLiteral("192.0.2.201")});
    EXPECT_EQ(unknown.status, 1);
    EXPECT_EQ(unknown.err, "quillet-cli: No device with MAC 02-00-00-00-00-77 answered a search; "
                           "to send the change all the same, name the interface to send it out "
                           "of with --interface.\n");
    EXPECT_TRUE(labtest::logLines(1, "ipsetup").empty()) << labtest::readLog(1);
    // With one, the datagram goes out there; nothing answers.
    QElapsedTimer clock;
    clock.start();
    const CliRun nobody =
        runCli({QStringLiteral("change-ip"), QStringLiteral("02-00-00-00-00-77"),
                QStringLiteral("192.0.2.201"), QStringLiteral("--wait"), QStringLiteral("2"),
                QStringLiteral("--interface"), QStringLiteral("eth0")},
               30000);
    const qint64 nobodyMs = clock.elapsed();
    EXPECT_EQ(nobody.status, 1);
    EXPECT_EQ(nobody.out, "");
    EXPECT_EQ(nobody.err, "quillet-cli: No device with MAC 02-00-00-00-00-77 answered at "
                          "192.0.2.201 within 2 s.\n");
    // The search before, the echo test (about 1.5 s) and the 2 s of searching after.
    EXPECT_GE(nobodyMs, 3400);
    EXPECT_LT(nobodyMs, 7000);
    const CliRun unchecked =
        runCli({QStringLiteral("change-ip"), QStringLiteral("02-00-00-00-00-77"),
                QStringLiteral("192.0.2.201"), QStringLiteral("--no-check"),
                QStringLiteral("--interface"), QStringLiteral("eth0")});
    EXPECT_EQ(unchecked.status, 0) << unchecked.err;
    EXPECT_EQ(unchecked.out, "IP address was successfuly changed\n");

    // Addresses no device can live on go nowhere, not even as an echo.
    for (int n = 1; n <= 3; ++n) {
        labtest::clearLog(n);
    }
    // Nor the LAN's own network and broadcast addresses, or the computer's: a device there is
    // lost to every later search.
    for (const char *bad : {"255.255.255.255", "0.0.0.0", "127.0.0.1", "224.0.0.1", "192.0.2.255",
                            "192.0.2.0", "192.0.2.1"}) {
        const CliRun refused =
            runCli({QStringLiteral("change-ip"), QString::fromStdString(labtest::deviceMac(2)),
                    QString::fromLatin1(bad)});
        EXPECT_EQ(refused.status, 1) << bad;
        EXPECT_EQ(refused.err, "quillet-cli: IP address syntax error.\nWrite correct IP address, "
                               "please.\n")
            << bad;
    }
    for (int n = 1; n <= 3; ++n) {
        EXPECT_TRUE(labtest::logLines(n, "ipsetup").empty()) << labtest::readLog(n);
    }

    for (const char *mac : {"02-00-00", "02-00-00-00-00-001", "02-00-00-00-100-01"}) {
        const CliRun badMac = runCli({QStringLiteral("change-ip"), QString::fromLatin1(mac), free});
        EXPECT_EQ(badMac.status, 1) << mac;
        EXPECT_TRUE(contains(badMac.err, "MAC address syntax error.")) << badMac.err;
    }
    for (int n = 1; n <= 3; ++n) {
        EXPECT_TRUE(labtest::logLines(n, "ipsetup").empty()) << labtest::readLog(n);
    }
    // One-digit groups name the same device as its two-digit form, with a 20-byte datagram.
    const CliRun shortForm =
        runCli({QStringLiteral("change-ip"), QStringLiteral("2:0:0:0:0:2"),
                QStringLiteral("192.0.2.202"), QStringLiteral("--wait"), QStringLiteral("5")});
    EXPECT_EQ(shortForm.status, 0) << shortForm.err;
    EXPECT_EQ(labtest::logLines(2, "ipsetup").size(), 1u) << labtest::readLog(2);
    ASSERT_TRUE(labtest::restartDevice(2));
    ASSERT_TRUE(labtest::restartDevice(1));
}

// The site journal along a technician's road: a search, a web file to three devices, one moved
// by an IP change, and a second search after another is switched off. The journal holds
// exactly those events, and the second search names exactly those two changes.
TEST_F(CliDeviceLab, JournalRecordsTheRoadAndTheSecondSearchNamesWhatChanged) {
    // A copy of the program keeps its journal beside it, apart from the other tests' runs.
    QTemporaryDir program;
    const QString cli = program.filePath(QStringLiteral("quillet-cli"));
    ASSERT_TRUE(QFile::copy(cliProgram(), cli));
    const auto quillet = [&cli](const QStringList &args) {
        return runCli(args, 120000, {}, cli);
    };
    const CliRun first = quillet({QStringLiteral("search")});
    ASSERT_EQ(first.status, 0) << first.err;
    ASSERT_EQ(lines(first.out).size(), 20u) << first.out;
    ASSERT_TRUE(QFile::exists(program.filePath(QStringLiteral("journal.sqlite"))));

    const CliRun upload =
        quillet({QStringLiteral("upload-web"), File, address(1), address(2), address(3)});
    ASSERT_EQ(upload.status, 0) << upload.out << upload.err;
    const QString moved = QStringLiteral("192.0.2.210");
    const CliRun change = quillet({QStringLiteral("change-ip"), labtest::Mac(1), moved});
    ASSERT_EQ(change.status, 0) << change.out << change.err;
    ASSERT_TRUE(labtest::restartDevice(3));
    ASSERT_TRUE(labtest::setLink(3, false));
    // Not recorded: the search after it still compares with the first one.
    ASSERT_EQ(quillet({QStringLiteral("search"), QStringLiteral("--no-journal")}).status, 0);

    const CliRun changes = quillet({QStringLiteral("search"), QStringLiteral("--changes")});
    EXPECT_EQ(changes.status, 0) << changes.err;
    const std::vector<std::string> marked = lines(changes.out);
    ASSERT_EQ(marked.size(), 2u) << changes.out;
    EXPECT_EQ(marked[0].rfind("moved  192.0.2.210  " + labtest::deviceMac(1), 0), 0u) << marked[0];
    EXPECT_TRUE(marked[0].ends_with("was at " + labtest::deviceAddress(1))) << marked[0];
    EXPECT_EQ(
        // Aligned under the longer address above.
        marked[1].rfind("gone   " + labtest::deviceAddress(3) + "   " + labtest::deviceMac(3), 0),
        0u)
        << marked[1];

    const CliRun history = quillet({QStringLiteral("history"), QStringLiteral("--json")});
    ASSERT_EQ(history.status, 0) << history.err;
    const QJsonArray events =
        QJsonDocument::fromJson(QByteArray::fromStdString(history.out)).array();
    // Newest first: the second search's one change, the IP change, three uploads, and the
    // first search's twenty devices seen for the first time.
    ASSERT_EQ(events.size(), 1 + 1 + 3 + 20) << history.out;
    const auto event = [&events](qsizetype i) {
        return events.at(i).toObject();
    };
    const auto text = [&](qsizetype i, const char *key) {
        return event(i).value(QLatin1String(key)).toString();
    };
    EXPECT_EQ(text(0, "event"), QStringLiteral("search"));
    EXPECT_EQ(text(0, "changes"), QStringLiteral("moved"));
    EXPECT_EQ(text(0, "address"), moved);
    EXPECT_EQ(text(1, "event"), QStringLiteral("ip change"));
    EXPECT_EQ(text(1, "mac"), labtest::Mac(1));
    EXPECT_EQ(text(1, "address"), address(1));
    EXPECT_EQ(text(1, "new_address"), moved);
    EXPECT_EQ(text(1, "outcome"), QStringLiteral("done"));
    const QString sha256 =
        QString::fromLatin1(QCryptographicHash::hash(Bytes, QCryptographicHash::Sha256).toHex());
    QStringList uploaded;
    for (qsizetype i = 2; i < 5; ++i) {
        EXPECT_EQ(text(i, "event"), QStringLiteral("upload"));
        EXPECT_EQ(text(i, "file"), File);
        EXPECT_EQ(text(i, "kind"), QStringLiteral("web"));
        EXPECT_EQ(event(i).value(QStringLiteral("size")).toInteger(), Bytes.size());
        EXPECT_EQ(text(i, "sha256"), sha256);
        EXPECT_EQ(text(i, "outcome"), QStringLiteral("done"));
        uploaded << text(i, "address") + u' ' + text(i, "mac");
    }
    uploaded.sort();
    EXPECT_EQ(uploaded,
              (QStringList{address(1) + u' ' + labtest::Mac(1), address(2) + u' ' + labtest::Mac(2),
                           address(3) + u' ' + labtest::Mac(3)}));
    for (qsizetype i = 5; i < events.size(); ++i) {
        EXPECT_EQ(text(i, "changes"), QStringLiteral("first seen")) << i;
    }
    EXPECT_TRUE(labtest::restartDevice(3));
}

// Quillet installed for everyone and used by a normal user: create, search, upload and change
// the address all work without administrator rights; the ARP mode says that it needs them.
TEST_F(CliDeviceLab, WholeRoadAsANormalUser) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "switching to a normal user needs root";
    }
    QTemporaryDir root;
    const auto readable = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                          QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;
    ASSERT_TRUE(QFile::setPermissions(root.path(), readable));
    const QString program = root.filePath(QStringLiteral("lib/quillet/"));
    ASSERT_TRUE(QDir().mkpath(program));
    for (const char *name : {"quillet-cli", "sitepack", "mimetype.ini"}) {
        ASSERT_TRUE(QFile::copy(QStringLiteral(QUILLET_PROGRAM_DIR) + QLatin1String(name),
                                program + QLatin1String(name)));
    }
    ASSERT_TRUE(QFile::copy(QStringLiteral(QUILLET_SOURCE_DIR "data/qlt.ini"),
                            program + QStringLiteral("qlt.ini")));
    QFile marker(program + QStringLiteral("installed-layout"));
    ASSERT_TRUE(marker.open(QIODevice::WriteOnly));
    marker.close();
    const QString site = root.filePath(QStringLiteral("Tank2"));
    const QString home = root.filePath(QStringLiteral("home"));
    for (const QString &folder : {program, root.filePath(QStringLiteral("lib")), site, home}) {
        ASSERT_TRUE(QDir().mkpath(folder) && QFile::setPermissions(folder, readable));
    }
    QFile page(site + QStringLiteral("/index.htm"));
    ASSERT_TRUE(page.open(QIODevice::WriteOnly));
    page.write("<html>Tank 2</html>");
    page.close();
    ASSERT_EQ(::chown(home.toLocal8Bit().constData(), 65534, 65534), 0);

    const auto asNobody = [&](const QStringList &args, int timeoutMs = 60000) {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), home);
        environment.remove(QStringLiteral("XDG_CONFIG_HOME"));
        environment.remove(QStringLiteral("XDG_DATA_HOME"));
        environment.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral("setpriv"),
                      QStringList{QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                                  QStringLiteral("--clear-groups"),
                                  program + QStringLiteral("quillet-cli")} +
                          args);
        CliRun run;
        if (process.waitForFinished(timeoutMs)) {
            run.status = process.exitCode();
        }
        run.out = process.readAllStandardOutput().toStdString();
        run.err = process.readAllStandardError().toStdString();
        return run;
    };

    const CliRun create = asNobody({QStringLiteral("create"), site});
    ASSERT_EQ(create.status, 0) << create.out << create.err;
    const QString web = home + QStringLiteral("/.local/share/quillet/pmf/Tank2/Tank2_WEB1_01.pmf");
    EXPECT_TRUE(contains(create.out, web.toStdString())) << create.out;
    QFile webFile(web);
    ASSERT_TRUE(webFile.open(QIODevice::ReadOnly));
    const QByteArray webBytes = webFile.readAll();

    const CliRun search = asNobody({QStringLiteral("search")});
    ASSERT_EQ(search.status, 0) << search.err;
    EXPECT_TRUE(contains(search.out, address(3).toStdString() + " ")) << search.out;

    const CliRun upload = asNobody({QStringLiteral("upload-web"), web, address(3)}, 120000);
    EXPECT_EQ(upload.status, 0) << upload.out << upload.err;
    EXPECT_EQ(received(3, "WEB1"), webBytes);

    const QString mac = QString::fromStdString(labtest::deviceMac(3));
    const CliRun arp = asNobody(
        {QStringLiteral("change-ip"), mac, QStringLiteral("192.0.2.202"), QStringLiteral("--arp")});
    EXPECT_EQ(arp.status, 1);
    EXPECT_TRUE(contains(arp.err, "Setting the neighbour table needs administrator rights"))
        << arp.err;

    const CliRun change =
        asNobody({QStringLiteral("change-ip"), mac, QStringLiteral("192.0.2.201")});
    EXPECT_EQ(change.status, 0) << change.err;
    EXPECT_TRUE(labtest::waitForPing("192.0.2.201", std::chrono::seconds(10)));
    ASSERT_TRUE(labtest::restartDevice(3));
}

// Reads what the program prints until a line appears; false when it does not in time.
bool readUntil(QProcess &process, std::string &out, const std::string &line, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (!contains(out, line) && clock.elapsed() < timeoutMs) {
        process.waitForReadyRead(200);
        out += process.readAllStandardOutput().toStdString();
    }
    return contains(out, line);
}

// Two programs never upload to one device at once: the second is refused at once, sending
// nothing, and the first completes. One killed during its upload leaves a lock file that
// blocks nobody.
TEST_F(CliDeviceLab, OneUploadPerDeviceAcrossPrograms) {
    const std::string device = labtest::deviceAddress(6);
    ASSERT_TRUE(labtest::restartDevice(6, {"--restart-ms", "1500"}));
    QProcess first;
    first.start(cliProgram(), {QStringLiteral("upload-web"), File, address(6)});
    ASSERT_TRUE(first.waitForStarted());
    std::string firstOut;
    ASSERT_TRUE(readUntil(first, firstOut, "Device restart...", 30000)) << firstOut;
    QElapsedTimer clock;
    clock.start();
    const CliRun second = runCli({QStringLiteral("upload-web"), File, address(6)});
    EXPECT_LT(clock.elapsed(), 3000);
    EXPECT_EQ(second.status, 1);
    EXPECT_TRUE(contains(second.out, device +
                                         " is already receiving an upload from another Quillet "
                                         "(quillet-cli, process " +
                                         std::to_string(first.processId()) + ").\n"))
        << second.out << second.err;
    EXPECT_FALSE(contains(second.out, "Process done.")) << second.out;
    ASSERT_TRUE(first.waitForFinished(60000));
    firstOut += first.readAllStandardOutput().toStdString();
    EXPECT_EQ(first.exitCode(), 0) << firstOut;
    EXPECT_TRUE(contains(firstOut, "Web upload successful.\n")) << firstOut;

    const QString lock = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation) +
                         QStringLiteral("/quillet/upload-%1.lock").arg(address(6));
    EXPECT_FALSE(QFile::exists(lock));
    QProcess killed;
    killed.start(cliProgram(), {QStringLiteral("upload-web"), File, address(6)});
    ASSERT_TRUE(killed.waitForStarted());
    std::string killedOut;
    ASSERT_TRUE(readUntil(killed, killedOut, "Device restart...", 30000)) << killedOut;
    ::kill(static_cast<pid_t>(killed.processId()), SIGKILL);
    ASSERT_TRUE(killed.waitForFinished(5000));
    EXPECT_TRUE(QFile::exists(lock));
    ASSERT_TRUE(labtest::waitForPing(device, std::chrono::seconds(30)));
    const CliRun after = runCli({QStringLiteral("upload-web"), File, address(6)}, 120000);
    EXPECT_EQ(after.status, 0) << after.out << after.err;
    EXPECT_EQ(received(6, "WEB1"), Bytes);
    EXPECT_FALSE(QFile::exists(lock));
    EXPECT_TRUE(labtest::restartDevice(6));
}

// Ctrl+C or a hang-up during change-ip's echo test, where a normal user may open no ICMP socket
// and the system's ping stands in, ends the program and that ping with it (it runs in a process
// group of its own, which the terminal's signal does not reach).
TEST_F(CliDeviceLab, SignalDuringTheChangeCheckLeavesNoPingBehind) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "switching to a normal user needs root";
    }
    const auto readRange = [] {
        QFile file(QStringLiteral("/proc/sys/net/ipv4/ping_group_range"));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    const auto writeRange = [](const QByteArray &range) {
        QFile file(QStringLiteral("/proc/sys/net/ipv4/ping_group_range"));
        return file.open(QIODevice::WriteOnly) && file.write(range) == range.size();
    };
    const QByteArray range = readRange();
    ASSERT_TRUE(writeRange("1 0\n"));
    const auto restore = qScopeGuard([&] { EXPECT_TRUE(writeRange(range)); });

    QTemporaryDir fake;
    ASSERT_EQ(::chmod(fake.path().toLocal8Bit().constData(), 0777), 0);
    QFile script(fake.filePath(QStringLiteral("ping")));
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\necho $$ > \"$(dirname \"$0\")/pid\"\nexec sleep 30\n");
    script.close();
    ASSERT_EQ(::chmod(script.fileName().toLocal8Bit().constData(), 0755), 0);

    labtest::clearLog(4);
    for (const int signal : {SIGINT, SIGHUP}) {
        QFile::remove(fake.filePath(QStringLiteral("pid")));
        QProcess change;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("PATH"), fake.path() + QStringLiteral(":/usr/bin:/bin"));
        environment.insert(QStringLiteral("HOME"), fake.path());
        environment.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
        change.setProcessEnvironment(environment);
        change.start(QStringLiteral("setpriv"),
                     {QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                      QStringLiteral("--clear-groups"), cliProgram(), QStringLiteral("change-ip"),
                      QString::fromStdString(labtest::deviceMac(4)), QStringLiteral("192.0.2.204"),
                      QStringLiteral("--wait"), QStringLiteral("2")});
        ASSERT_TRUE(change.waitForStarted());
        QFile pidFile(fake.filePath(QStringLiteral("pid")));
        QElapsedTimer clock;
        clock.start();
        while (pidFile.size() == 0 && clock.elapsed() < 10000) {
            QThread::msleep(20);
        }
        ASSERT_TRUE(pidFile.open(QIODevice::ReadOnly))
            << change.readAllStandardError().toStdString();
        const pid_t ping = static_cast<pid_t>(pidFile.readAll().trimmed().toInt());
        ASSERT_GT(ping, 0);
        ::kill(static_cast<pid_t>(change.processId()), signal);
        ASSERT_TRUE(change.waitForFinished(3000)) << signal;
        EXPECT_EQ(change.exitStatus(), QProcess::CrashExit) << signal;
        clock.restart();
        bool gone = false;
        while (!gone && clock.elapsed() < 1000) {
            QFile stat(QStringLiteral("/proc/%1/stat").arg(ping));
            gone = !stat.open(QIODevice::ReadOnly) || stat.readAll().contains(") Z ");
            QThread::msleep(10);
        }
        EXPECT_TRUE(gone) << "the ping of the check outlived quillet-cli, signal " << signal;
        if (!gone) {
            ::kill(ping, SIGKILL);
        }
    }
    EXPECT_TRUE(labtest::logLines(4, "ipsetup").empty()) << labtest::readLog(4);
}

// Ctrl+C during a fleet upload stops every transfer at once and still prints the summary.
TEST_F(CliDeviceLab, InterruptStopsEveryUploadAndSummarises) {
    ASSERT_TRUE(labtest::setTftp(2, labtest::Tftp::Off)); // the client waits for an answer
    QProcess upload;
    upload.start(cliProgram(), {QStringLiteral("upload-web"), File, address(1), address(2)});
    ASSERT_TRUE(upload.waitForStarted());
    QThread::msleep(2500);
    QElapsedTimer clock;
    clock.start();
    ::kill(static_cast<pid_t>(upload.processId()), SIGINT);
    ASSERT_TRUE(upload.waitForFinished(5000));
    EXPECT_LT(clock.elapsed(), 1500);
    const std::string out = upload.readAllStandardOutput().toStdString();
    EXPECT_EQ(upload.exitStatus(), QProcess::NormalExit)
        << upload.readAllStandardError().toStdString();
    EXPECT_EQ(upload.exitCode(), 1);
    EXPECT_TRUE(contains(out, "192.0.2.12  interrupted  Stopped before the upload ended.\n"))
        << out;
    // The first had its file and was waiting for the restart (five seconds of it).
    EXPECT_TRUE(contains(out, "192.0.2.11  interrupted  File sent; stopped waiting for the "
                              "restart.\n"))
        << out;
    EXPECT_TRUE(contains(out, "of 2 devices done\n")) << out;
}

// Ctrl+C while one device's slow web server is being checked and another device's restart is
// awaited: both stop at once, and the run fails as an interrupted one.
TEST_F(CliDeviceLab, InterruptStopsACheckUnderWay) {
    const QString site = testsupport::WriteWebFile(
        Dir, "Station7_WEB1_03.pmf",
        {{"index.htm", webfile::replyHead("text/html") + "<html>version 3</html>"}});
    ASSERT_TRUE(labtest::restartDevice(1, {"--http-slow-ms", "200"}));
    ASSERT_TRUE(labtest::restartDevice(2, {"--restart-ms", "30000"}));
    QProcess upload;
    upload.start(cliProgram(), {QStringLiteral("upload-web"), site, address(1), address(2)});
    ASSERT_TRUE(upload.waitForStarted());
    std::string out;
    QElapsedTimer clock;
    clock.start();
    while (!contains(out, "192.0.2.11  Web upload successful.\n") && clock.elapsed() < 60000) {
        upload.waitForReadyRead(500);
        out += upload.readAllStandardOutput().toStdString();
    }
    ASSERT_TRUE(contains(out, "192.0.2.11  Web upload successful.\n")) << out;
    QThread::msleep(500);
    clock.restart();
    ::kill(static_cast<pid_t>(upload.processId()), SIGINT);
    ASSERT_TRUE(upload.waitForFinished(5000));
    EXPECT_LT(clock.elapsed(), 1500);
    out += upload.readAllStandardOutput().toStdString();
    EXPECT_EQ(upload.exitCode(), 1);
    EXPECT_TRUE(contains(out, "192.0.2.11  done         cancelled  The check of the new web file "
                              "was cancelled.\n"
                              "192.0.2.12  interrupted             File sent; stopped waiting "
                              "for the restart.\n"))
        << out;
    EXPECT_TRUE(labtest::restartDevice(1));
    EXPECT_TRUE(labtest::restartDevice(2));
}
