// The search of the real program where technicians really are: a computer on two LANs, a device
// with its factory address on one of them, three devices behind a router, and a firewall.
// Lab: --lans 2 --devices 2 --foreign 1 --routed 3 (dev1-2 on 192.0.2.0/24 by eth0, dev3-4 on
// 198.51.100.0/24 by eth1, the computer's default route; dev5 10.0.0.11 by eth0; dev6-8 on
// 203.0.113.0/24 behind 192.0.2.254).
#include "app/cli/tests/cliprogram.h"
#include "tools/testsupport/lab.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <map>

namespace {

struct Found {
    QString interface;
    bool reachable = true;
    QString firmware;
};

std::map<std::string, Found> foundByAddress(const CliRun &run) {
    std::map<std::string, Found> found;
    for (const QJsonValue &value :
         QJsonDocument::fromJson(QByteArray::fromStdString(run.out)).array()) {
        const QJsonObject device = value.toObject();
        found[device.value(QStringLiteral("ip")).toString().toStdString()] = {
            device.value(QStringLiteral("interface")).toString(),
            device.value(QStringLiteral("reachable")).toBool(),
            device.value(QStringLiteral("firmware")).toString()};
    }
    return found;
}

// The program as a normal user (nobody): no capability, no way to read the firewall's rules.
CliRun runAsUser(const QStringList &args) {
    QProcess process;
    process.start(QStringLiteral("setpriv"),
                  QStringList{QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                              QStringLiteral("--clear-groups"), cliProgram()} +
                      args);
    CliRun run;
    if (process.waitForFinished(60000)) {
        run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }
    run.out = process.readAllStandardOutput().toStdString();
    run.err = process.readAllStandardError().toStdString();
    return run;
}

bool contains(const std::string &text, const std::string &part) {
    return text.find(part) != std::string::npos;
}

class CliMultiLanLab : public testing::Test {
protected:
    void SetUp() override {
        if (!labtest::inLab()) {
            GTEST_SKIP() << labtest::notInLab;
        }
        ASSERT_EQ(labtest::deviceCount(), 8);
        ASSERT_EQ(labtest::labAddress(5), "10.0.0.11");
    }
};

} // namespace

TEST_F(CliMultiLanLab, OneSearchAsksEveryInterfaceAndMarksTheForeignDevice) {
    const CliRun json = runCli({QStringLiteral("search"), QStringLiteral("--json")});
    ASSERT_EQ(json.status, 0) << json.err;
    const auto found = foundByAddress(json);
    // The routed devices hear no broadcast; everything on the computer's links answers.
    ASSERT_EQ(found.size(), 5u) << json.out;
    for (int n = 1; n <= 5; ++n) {
        const Found &device = found.at(labtest::labAddress(n));
        EXPECT_EQ(device.interface.toStdString(), n == 3 || n == 4 ? "eth1" : "eth0") << n;
        EXPECT_EQ(device.reachable, n != 5) << n;
        // The info query found its way to the device outside the subnets too.
        EXPECT_EQ(device.firmware.toStdString(), "1-4-5.00") << n;
    }

    const CliRun text = runCli({QStringLiteral("search")});
    ASSERT_EQ(text.status, 0) << text.err;
    EXPECT_TRUE(contains(text.out, "on eth1")) << text.out;
    EXPECT_EQ(text.out.rfind("10.0.0.11 ", 0), 0u) << text.out;
    EXPECT_TRUE(contains(text.out, "on eth0  UNREACHABLE from eth0 (192.0.2.0/24): give it an "
                                   "address there with change-ip\n192.0.2.11 "))
        << text.out;

    // A normal user's search asks on every interface just the same.
    const CliRun user = runAsUser({QStringLiteral("search"), QStringLiteral("--json")});
    EXPECT_EQ(user.status, 0) << user.err;
    EXPECT_EQ(foundByAddress(user).size(), 5u) << user.out << user.err;

    const CliRun csv = runCli({QStringLiteral("search"), QStringLiteral("--csv"),
                               QStringLiteral("--interface"), QStringLiteral("eth1")});
    ASSERT_EQ(csv.status, 0) << csv.err;
    EXPECT_EQ(csv.out,
              "ip,mac,firmware,type,description,interface,reachable\r\n"
              "198.51.100.11,02-00-00-00-00-03,1-4-5.00,Kx3xx,Simulated device 3,eth1,true\r\n"
              "198.51.100.12,02-00-00-00-00-04,1-4-5.00,Kx3xx,Simulated device 4,eth1,true\r\n");

    // Change IP as the mark says: the IP-SETUP leaves by every interface (the device's is not
    // the default route), the device moves into eth0's network and is reachable there.
    const CliRun change = runCli({QStringLiteral("change-ip"), QStringLiteral("02-00-00-00-00-05"),
                                  QStringLiteral("192.0.2.50")});
    EXPECT_EQ(change.status, 0) << change.err;
    EXPECT_TRUE(labtest::waitForLog(5, "address 192.0.2.50", std::chrono::seconds(5)));
    const auto moved = foundByAddress(runCli({QStringLiteral("search"), QStringLiteral("--json")}));
    ASSERT_TRUE(moved.count("192.0.2.50")) << change.out << change.err;
    EXPECT_TRUE(moved.at("192.0.2.50").reachable);
    EXPECT_EQ(moved.count("10.0.0.11"), 0u);
    ASSERT_TRUE(labtest::restartDevice(5));

    const CliRun unknown =
        runCli({QStringLiteral("search"), QStringLiteral("--interface"), QStringLiteral("eth7")});
    // A usage error: nothing was searched.
    EXPECT_EQ(unknown.status, 2);
    EXPECT_TRUE(contains(unknown.err, "eth7: no such interface")) << unknown.err;
}

TEST_F(CliMultiLanLab, RangeSearchFindsTheDevicesBehindTheRouter) {
    const CliRun json = runCli({QStringLiteral("search"), QStringLiteral("--json"),
                                QStringLiteral("--range"), QStringLiteral("203.0.113.0/24"),
                                QStringLiteral("--range"), QStringLiteral("10.0.0.11")});
    ASSERT_EQ(json.status, 0) << json.err;
    const auto found = foundByAddress(json);
    ASSERT_EQ(found.size(), 3u) << json.out << json.err;
    for (int n = 6; n <= 8; ++n) {
        const Found &device = found.at(labtest::labAddress(n));
        EXPECT_EQ(device.interface.toStdString(), "eth0") << n;
        EXPECT_TRUE(device.reachable) << n;
        EXPECT_EQ(device.firmware.toStdString(), "1-4-5.00") << n;
        EXPECT_EQ(labtest::logLines(n, "recv discovery").size(), 1u) << n;
    }
    // A range where no device lives says so, and what was asked, as a broadcast does.
    const CliRun empty = runCli(
        {QStringLiteral("search"), QStringLiteral("--range"), QStringLiteral("203.0.113.200/30")});
    EXPECT_EQ(empty.status, 0) << empty.err;
    EXPECT_EQ(empty.out, "");
    EXPECT_TRUE(contains(empty.err, "No device answered.\nAsked the 2 addresses "
                                    "203.0.113.201-203.0.113.202 one by one.\n"))
        << empty.err;
    // 10.0.0.11 is routed out of the default route's eth1, where no device is: the send goes,
    // or is refused, and the sweep goes on.
    const CliRun tooMany = runCli(
        {QStringLiteral("search"), QStringLiteral("--range"), QStringLiteral("10.0.0.0/15")});
    EXPECT_EQ(tooMany.status, 2);
    EXPECT_TRUE(contains(tooMany.err, "at most a /16")) << tooMany.err;
}

TEST_F(CliMultiLanLab, FirewallHintGivesTheCommandThatLetsTheRepliesIn) {
    // A stateful firewall as many distributions set one up: it cannot match a reply to a
    // broadcast query, so the devices' replies are dropped.
    ASSERT_EQ(labtest::run({"nft", "add table inet qtest"}), 0);
    ASSERT_EQ(labtest::run({"nft", "add chain inet qtest input { type filter hook input "
                                   "priority 0 ; policy drop ; }"}),
              0);
    ASSERT_EQ(labtest::run({"nft", "add rule inet qtest input ct state established,related "
                                   "accept"}),
              0);
    const CliRun hidden = runCli({QStringLiteral("search")});
    EXPECT_EQ(hidden.status, 0) << hidden.err;
    EXPECT_EQ(hidden.out, "");
    EXPECT_TRUE(contains(hidden.err, "Asked on eth0 (192.0.2.1/24), eth1 (198.51.100.1/24).\n"))
        << hidden.err;
    EXPECT_TRUE(contains(hidden.err, "nftables chain inet qtest input")) << hidden.err;
    const std::string command = "sudo nft insert rule inet qtest input udp sport 30718 accept";
    ASSERT_TRUE(contains(hidden.err, "  " + command + "\n")) << hidden.err;

    // A normal user cannot read the rules: the hint says what a firewall may do, with the rule.
    const CliRun user = runAsUser({QStringLiteral("search")});
    EXPECT_EQ(user.status, 0) << user.err;
    EXPECT_TRUE(contains(user.err, "If this computer runs a firewall, it cannot match"))
        << user.err;
    EXPECT_TRUE(contains(user.err, "  sudo nft insert rule inet filter input udp sport 30718 "
                                   "accept\n"))
        << user.err;

    // The command given works as printed.
    EXPECT_EQ(labtest::run({"nft", command.substr(9)}), 0);
    const CliRun shown = runCli({QStringLiteral("search"), QStringLiteral("--json")});
    labtest::run({"nft", "delete table inet qtest"});
    EXPECT_EQ(foundByAddress(shown).size(), 5u) << shown.out << shown.err;
    EXPECT_FALSE(contains(shown.err, "firewall")) << shown.err;
}

// The IP change names a device by the last two bytes of its MAC address only: it must reach
// the device's own LAN and no other, and is refused where two devices of one LAN share them.
// The device at its factory address is rescued in one step and then takes a web upload.
TEST_F(CliMultiLanLab, ChangeReachesOnlyItsLanAndAFactoryDeviceIsRescued) {
    // dev3, on the other LAN, ends in the same two bytes as dev1.
    ASSERT_TRUE(labtest::restartDevice(3, {"--mac", "0a:00:00:00:00:01"}));
    for (int n = 1; n <= 4; ++n) {
        labtest::clearLog(n);
    }
    const CliRun moved =
        runCli({QStringLiteral("change-ip"), QStringLiteral("02-00-00-00-00-01"),
                QStringLiteral("192.0.2.77"), QStringLiteral("--wait"), QStringLiteral("5")});
    EXPECT_EQ(moved.status, 0) << moved.err;
    EXPECT_EQ(moved.out, "Device 02-00-00-00-00-01 answers at 192.0.2.77.\n");
    EXPECT_EQ(labtest::logLines(1, "recv ipsetup").size(), 1u) << labtest::readLog(1);
    EXPECT_TRUE(labtest::logLines(3, "recv ipsetup").empty()) << labtest::readLog(3);
    ASSERT_TRUE(labtest::restartDevice(1));

    // The same two bytes on one LAN: the change would move both, so nothing is sent.
    ASSERT_TRUE(labtest::restartDevice(2, {"--mac", "0a:00:00:00:00:01"}));
    labtest::clearLog(1);
    labtest::clearLog(2);
    const CliRun twins = runCli({QStringLiteral("change-ip"), QStringLiteral("02-00-00-00-00-01"),
                                 QStringLiteral("192.0.2.78")});
    EXPECT_EQ(twins.status, 1);
    EXPECT_TRUE(contains(twins.err, "02-00-00-00-00-01 and 0A-00-00-00-00-01 on eth0 both end in "
                                    "00-01"))
        << twins.err;
    EXPECT_TRUE(labtest::logLines(1, "recv ipsetup").empty());
    EXPECT_TRUE(labtest::logLines(2, "recv ipsetup").empty());
    ASSERT_TRUE(labtest::restartDevice(2));
    ASSERT_TRUE(labtest::restartDevice(3));

    // Rescue: dev5 answers at 10.0.0.11 on eth0, outside 192.0.2.0/24.
    const CliRun rescue =
        runCli({QStringLiteral("rescue"), QString::fromStdString(labtest::deviceMac(5))}, 60000);
    ASSERT_EQ(rescue.status, 0) << rescue.out << rescue.err;
    const QRegularExpressionMatch given =
        QRegularExpression(QStringLiteral("the free address (192\\.0\\.2\\.\\d+) of eth0"))
            .match(QString::fromStdString(rescue.out));
    ASSERT_TRUE(given.hasMatch()) << rescue.out;
    const QString address = given.captured(1);
    EXPECT_NE(address, QStringLiteral("192.0.2.254")); // the router
    EXPECT_TRUE(contains(rescue.out, "answers at " + address.toStdString() + ".\n")) << rescue.out;
    // ... and takes a web upload at once.
    QTemporaryDir folder;
    QDir().mkpath(folder.filePath(QStringLiteral("site")));
    QFile page(folder.filePath(QStringLiteral("site/index.htm")));
    ASSERT_TRUE(page.open(QIODevice::WriteOnly));
    page.write("<p>rescued</p>");
    page.close();
    const QString web = folder.filePath(QStringLiteral("site.pmf"));
    ASSERT_EQ(runCli({QStringLiteral("create"), folder.filePath(QStringLiteral("site")),
                      QStringLiteral("--output"), web})
                  .status,
              0);
    const CliRun upload = runCli({QStringLiteral("upload-web"), web, address}, 120000);
    EXPECT_EQ(upload.status, 0) << upload.out << upload.err;
    EXPECT_TRUE(contains(upload.out, "Web upload successful.")) << upload.out;
    EXPECT_TRUE(labtest::restartDevice(5));
}
