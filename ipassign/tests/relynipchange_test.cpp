// The procedure on a scripted network: echo service, endpoint and neighbour table stand-ins.
#include "discovery/relynerror.h"
#include "ipassign/answerwait.h"
#include "ipassign/freeaddress.h"
#include "ipassign/neighbourtable.h"
#include "ipassign/tests/scriptednetwork.h"
#include "tools/testsupport/printers.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QElapsedTimer>

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

QByteArray Bytes(std::initializer_list<int> values) {
    QByteArray bytes;
    for (int value : values)
        bytes.append(static_cast<char>(value));
    return bytes;
}

const QByteArray Header =
    Bytes({0x00, 0x00, 0x00, 0xFC, 0x49, 0x50, 0x2D, 0x53, 0x45, 0x54, 0x55, 0x50, 0x00, 0x00});

class RelynIPChangeTest : public ::testing::Test {
protected:
    TScriptedNetwork Net;
    TRelynIPChange Change{Net.Environment()};
    const TRelynIPChangeMsgLngSupport Texts;
};

TEST_F(RelynIPChangeTest, FreeAddressGetsOneIPSetupBroadcastAfterThreeSilentEchoes) {
    const TRelynIPChangeOutcome outcome =
        Change.ChangeIP(QStringLiteral("02-00-00-12-34-5F"), QStringLiteral("192.168.1.50"));

    EXPECT_TRUE(outcome.Success);
    EXPECT_EQ(outcome.Kind, rmInformation);
    EXPECT_EQ(outcome.Message, QStringLiteral("IP address was successfuly changed"));
    EXPECT_EQ(Net.Echoes, 3);
    ASSERT_EQ(Net.Broadcasts.size(), 1);
    EXPECT_EQ(Net.Broadcasts[0].second, 30718);
    EXPECT_EQ(Net.Broadcasts[0].first, Header + Bytes({0x34, 0x5F, 0xC0, 0xA8, 0x01, 0x32}));
    EXPECT_THAT(Net.Commands, IsEmpty());
}

TEST_F(RelynIPChangeTest, IPSetupLeavesByTheDevicesInterfaceOrByEvery) {
    TRelynIPChangeEnvironment environment = Net.Environment();
    environment.BroadcastInterfaces = [] {
        return QList<TRelynInterface>{{2, QStringLiteral("eth0"), {}},
                                      {3, QStringLiteral("wlan0"), {}}};
    };
    const auto indexes = [&](const QString &interface) {
        Net.BroadcastInterfaces.clear();
        TRelynIPChange change(environment);
        change.SetInterface(interface);
        EXPECT_TRUE(
            change.ChangeIP(QStringLiteral("02-00-00-12-34-5F"), QStringLiteral("192.168.1.50"))
                .Success);
        return Net.BroadcastInterfaces;
    };
    EXPECT_EQ(indexes(QStringLiteral("wlan0")), (QList<int>{3}));
    EXPECT_EQ(indexes(QString()), (QList<int>{2, 3}));
    EXPECT_EQ(indexes(QStringLiteral("eth9")), (QList<int>{2, 3})); // gone since the search
}

TEST(RelynIPSetupDatagram, IsAlwaysTwentyBytesFromTheCanonicalMac) {
    const QByteArray address = Bytes({0xC0, 0xA8, 0x01, 0x32});
    struct Case {
        const char *mac;
        QByteArray tail;
    };
    const Case cases[] = {
        {"02-00-00-12-ab-cd", Bytes({0xAB, 0xCD})},
        {"  02 00 00 12 34 5F  ", Bytes({0x34, 0x5F})},
        {"02:00:00:12:34:5f", Bytes({0x34, 0x5F})},
        // A one-digit group is a byte of its own: never half of one, never a 19-byte datagram.
        {"02-00-00-12-5-5F", Bytes({0x05, 0x5F})},
        {"2:0:0:0:0:1", Bytes({0x00, 0x01})},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.mac);
        EXPECT_EQ(RelynIPSetupDatagram(QString::fromLatin1(c.mac), QStringLiteral("192.168.1.50")),
                  Header + c.tail + address);
    }
    for (const char *mac : {"02-00-00-12-34", "0-0-0-0-123-456", "02-00-00-00-00-001"})
        EXPECT_THROW(RelynIPSetupDatagram(QString::fromLatin1(mac), QStringLiteral("1.2.3.4")),
                     EConvertError)
            << mac;
    EXPECT_THROW(RelynIPSetupDatagram(QStringLiteral("02-00-00-12-34-5F"), QStringLiteral("1.2.3")),
                 EConvertError);
}

TEST_F(RelynIPChangeTest, BadMacAddressIsRefusedBeforeAnyEcho) {
    for (const char *mac : {"02-00-00-12-34", "02-00-00-12-34-XY", "", "02--00-12-34-5F",
                            "02-00-00-00-00-001", "02-00-00-12-34-100", "0x2-0-0-0-0-1"}) {
        SCOPED_TRACE(mac);
        const TRelynIPChangeOutcome outcome =
            Change.ChangeIP(QString::fromLatin1(mac), QStringLiteral("192.0.2.50"));
        EXPECT_FALSE(outcome.Success);
        EXPECT_EQ(outcome.Kind, rmError);
        EXPECT_EQ(outcome.Message, Texts.MsgMACSyntax);
    }
    EXPECT_EQ(Net.Echoes, 0);
    EXPECT_THAT(Net.ResolvedHosts, IsEmpty());
    EXPECT_THAT(Net.Broadcasts, IsEmpty());
}

TEST_F(RelynIPChangeTest, NetworkBroadcastAndOwnAddressesAreRefusedWhereTheNetworkIsKnown) {
    TRelynIPChangeEnvironment environment = Net.Environment();
    environment.BroadcastInterfaces = [] {
        return QList<TRelynInterface>{{2, QStringLiteral("eth0"), {{0xC0000201, 24}}},
                                      {3, QStringLiteral("eth1"), {{0xC6336401, 24}}}};
    };
    TRelynIPChange change(environment);
    change.SetInterface(QStringLiteral("eth0"));
    const QString mac = QStringLiteral("02-00-00-12-34-5F");
    for (const char *address : {"192.0.2.255", "192.0.2.0", "192.0.2.1", "198.51.100.1"}) {
        SCOPED_TRACE(address);
        const TRelynIPChangeOutcome outcome = change.ChangeIP(mac, QString::fromLatin1(address));
        EXPECT_FALSE(outcome.Success);
        EXPECT_EQ(outcome.Message, Texts.MsgIPSyntax);
    }
    EXPECT_EQ(Net.Echoes, 0);
    EXPECT_THAT(Net.Broadcasts, IsEmpty());
    // The other LAN's broadcast address is an ordinary address on this one.
    EXPECT_TRUE(change.ChangeIP(mac, QStringLiteral("198.51.100.255")).Success);
    // Without a known interface every network counts.
    change.SetInterface(QString());
    EXPECT_FALSE(change.ChangeIP(mac, QStringLiteral("198.51.100.255")).Success);
    EXPECT_TRUE(change.ChangeIP(mac, QStringLiteral("192.0.2.254")).Success);
}

TEST_F(RelynIPChangeTest, TakenAddressSendsNoDatagramInEitherMode) {
    Net.AddressAnswers = true;
    for (bool arpOnly : {false, true}) {
        Change.SetArpOnly(arpOnly);
        const TRelynIPChangeOutcome outcome =
            Change.ChangeIP(QStringLiteral("02-00-00-12-34-5F"), QStringLiteral("192.0.2.11"));
        EXPECT_FALSE(outcome.Success);
        EXPECT_EQ(outcome.Kind, rmError);
        EXPECT_EQ(outcome.Message, QStringLiteral("Selected IP address already exists."));
    }
    EXPECT_EQ(Net.Echoes, 2);
    EXPECT_THAT(Net.Broadcasts, IsEmpty());
    EXPECT_THAT(Net.Commands, IsEmpty());
}

TEST_F(RelynIPChangeTest, AddressSyntaxIsCheckedAfterTheEchoTest) {
    for (const char *address : {"1.2.3", "256.1.1.1", "1.2.3.4.5", "", "not.an.address.at"}) {
        SCOPED_TRACE(address);
        const TRelynIPChangeOutcome outcome =
            Change.ChangeIP(QStringLiteral("02-00-00-12-34-5F"), QString::fromLatin1(address));
        EXPECT_FALSE(outcome.Success);
        EXPECT_EQ(outcome.Kind, rmError);
        EXPECT_EQ(outcome.Message, Texts.MsgIPSyntax);
    }
    // A text that does not resolve gets no echo at all, so it cannot look taken.
    EXPECT_EQ(Net.Echoes, 0);
    EXPECT_EQ(Net.ResolvedHosts.size(), 5);
    EXPECT_THAT(Net.Broadcasts, IsEmpty());
}

// Addresses no device can live on are refused in both modes before anything goes out, echo
// included; their neighbours on either side still go through.
TEST_F(RelynIPChangeTest, AddressNoDeviceCanLiveOnIsRefusedBeforeAnythingIsSent) {
    for (bool arpOnly : {false, true}) {
        Change.SetArpOnly(arpOnly);
        for (const char *address : {"0.0.0.0", "0.1.2.3", "127.0.0.1", "127.255.0.9", "224.0.0.1",
                                    "239.1.1.1", "240.0.0.1", "255.255.255.255", "000.0.0.0"}) {
            SCOPED_TRACE(std::string(address) + (arpOnly ? " arp" : " datagram"));
            const TRelynIPChangeOutcome outcome =
                Change.ChangeIP(QStringLiteral("02-00-00-12-34-5F"), QString::fromLatin1(address));
            EXPECT_FALSE(outcome.Success);
            EXPECT_EQ(outcome.Kind, rmError);
            EXPECT_EQ(outcome.Message, Texts.MsgIPSyntax);
        }
    }
    EXPECT_EQ(Net.Echoes, 0);
    EXPECT_THAT(Net.ResolvedHosts, IsEmpty());
    EXPECT_THAT(Net.Broadcasts, IsEmpty());
    EXPECT_THAT(Net.Commands, IsEmpty());
    EXPECT_THAT(Net.Probes, IsEmpty());

    Change.SetArpOnly(false);
    for (const char *address : {"1.0.0.0", "126.255.255.255", "128.0.0.1", "223.255.255.254"}) {
        SCOPED_TRACE(address);
        EXPECT_TRUE(
            Change.ChangeIP(QStringLiteral("02-00-00-12-34-5F"), QString::fromLatin1(address))
                .Success);
    }
    EXPECT_EQ(Net.Broadcasts.size(), 4);
}

TEST_F(RelynIPChangeTest, ServiceAndSocketFailuresBecomeChangeError) {
    Net.EchoAvailable = false;
    TRelynIPChangeOutcome outcome =
        Change.ChangeIP(QStringLiteral("02-00-00-12-34-5F"), QStringLiteral("192.0.2.50"));
    EXPECT_FALSE(outcome.Success);
    EXPECT_EQ(outcome.Kind, rmError);
    EXPECT_EQ(outcome.Message, QStringLiteral("IP address change error."));
    EXPECT_THAT(Net.Broadcasts, IsEmpty());

    Net.EchoAvailable = true;
    Net.BroadcastFails = true;
    outcome = Change.ChangeIP(QStringLiteral("02-00-00-12-34-5F"), QStringLiteral("192.0.2.50"));
    EXPECT_FALSE(outcome.Success);
    EXPECT_EQ(outcome.Kind, rmError);
    EXPECT_EQ(outcome.Message, Texts.MsgChangeError);
}

TEST_F(RelynIPChangeTest, EmptyMessagesStillGiveKindAndSuccess) {
    Change.SetMessages({QString(), QString(), QString(), QString(), QString(), QString()});
    const QString mac = QStringLiteral("02-00-00-12-34-5F");
    struct Case {
        const char *name;
        std::function<void()> arrange;
        QString mac;
        QString address;
        bool arpOnly;
        bool success;
        qint32 kind;
    };
    const Case cases[] = {
        {"changed", [] {}, mac, QStringLiteral("192.0.2.50"), false, true, rmInformation},
        {"temporary", [] {}, mac, QStringLiteral("192.0.2.50"), true, true, rmWarning},
        {"mac syntax", [] {}, QStringLiteral("02"), QStringLiteral("192.0.2.50"), false, false,
         rmError},
        {"ip syntax", [] {}, mac, QStringLiteral("1.2.3"), false, false, rmError},
        {"exists", [this] { Net.AddressAnswers = true; }, mac, QStringLiteral("192.0.2.50"), false,
         false, rmError},
        {"change error", [this] { Net.EchoAvailable = false; }, mac, QStringLiteral("192.0.2.50"),
         false, false, rmError},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Net = TScriptedNetwork();
        c.arrange();
        Change.SetArpOnly(c.arpOnly);
        const TRelynIPChangeOutcome outcome = Change.ChangeIP(c.mac, c.address);
        EXPECT_EQ(outcome.Success, c.success);
        EXPECT_EQ(outcome.Kind, c.kind);
        EXPECT_TRUE(outcome.Message.isEmpty());
    }
}

TEST_F(RelynIPChangeTest, ArpModeWritesAPermanentNeighbourAndProbesTheAddress) {
    Change.SetArpOnly(true);
    const TRelynIPChangeOutcome outcome =
        Change.ChangeIP(QStringLiteral(" 02-00-00-12-ab-5F "), QStringLiteral("010.0.0.007"));

    EXPECT_TRUE(outcome.Success);
    EXPECT_EQ(outcome.Kind, rmWarning);
    EXPECT_EQ(outcome.Message, Texts.MsgTemporary);
    EXPECT_THAT(Net.Commands, ElementsAre(QStringLiteral(
                                  "ip neigh replace 10.0.0.7 lladdr 02:00:00:12:ab:5f dev lab0 "
                                  "nud permanent")));
    EXPECT_THAT(Net.Probes, ElementsAre(QStringLiteral("10.0.0.7")));
    // The echo test asks about the address assigned, not an octal or name reading of the text.
    EXPECT_THAT(Net.ResolvedHosts, ElementsAre(QStringLiteral("10.0.0.7")));
    EXPECT_THAT(Net.Broadcasts, IsEmpty());
}

TEST_F(RelynIPChangeTest, ArpModeFailuresAreReportedNotTakenForSuccess) {
    Change.SetArpOnly(true);
    const QString mac = QStringLiteral("02-00-00-12-34-5F");
    const QString address = QStringLiteral("192.0.2.60");
    struct Case {
        const char *name;
        std::function<void()> arrange;
        QString mac;
    };
    const Case cases[] = {
        // The command ran but the entry is not there: refused for lack of privileges.
        {"refused", [this] { Net.EntryAppears = false; }, mac},
        {"cannot start", [this] { Net.RunFails = true; }, mac},
        {"no route", [this] { Net.RouteFails = true; }, mac},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Net = TScriptedNetwork();
        c.arrange();
        const TRelynIPChangeOutcome outcome = Change.ChangeIP(c.mac, address);
        EXPECT_FALSE(outcome.Success);
        EXPECT_EQ(outcome.Kind, rmError);
        EXPECT_EQ(outcome.Message, Texts.MsgChangeError);
        EXPECT_THAT(Net.Probes, IsEmpty());
        EXPECT_THAT(Net.Broadcasts, IsEmpty());
    }

    Net = TScriptedNetwork();
    const TRelynIPChangeOutcome outcome = Change.ChangeIP(mac, QStringLiteral("1.2.3"));
    EXPECT_EQ(outcome.Message, Texts.MsgIPSyntax);
    EXPECT_THAT(Net.Commands, IsEmpty());

    // Refused for lack of rights: the user is told so and what to do.
    Net = TScriptedNetwork();
    Net.EntryAppears = false;
    Net.Privileged = false;
    const TRelynIPChangeOutcome refused = Change.ChangeIP(mac, address);
    EXPECT_FALSE(refused.Success);
    EXPECT_TRUE(refused.Message.startsWith(
        QStringLiteral("Setting the neighbour table needs administrator rights")));
    EXPECT_TRUE(refused.Message.contains(QStringLiteral("sudo")));
    EXPECT_THAT(Net.Probes, IsEmpty());
}

TEST(RelynLinkLayerAddress, SixBytesInTheNeighbourTableForm) {
    EXPECT_EQ(RelynLinkLayerAddress(QStringLiteral("02-00-00-12-34-5F")),
              QStringLiteral("02:00:00:12:34:5f"));
    EXPECT_EQ(RelynLinkLayerAddress(QStringLiteral("2 0 0 a b 00C")),
              QStringLiteral("02:00:00:0a:0b:0c"));
    for (const char *mac :
         {"02-00-00-12-34-100", "02-00-00-12-34", "02-00-00-12-34-0x5", "02-00-00-12-34-+5"}) {
        SCOPED_TRACE(mac);
        EXPECT_THROW(RelynLinkLayerAddress(QString::fromLatin1(mac)), EConvertError);
    }
}

TEST(ArpTable, OnlyACompletePermanentEntryOnTheLinkCounts) {
    const QByteArray table =
        "IP address       HW type     Flags       HW address            Mask     Device\n"
        "192.0.2.60       0x1         0x6         02:00:00:00:00:03     *        eth0\n"
        "192.0.2.61       0x1         0x2         02:00:00:00:00:04     *        eth0\n"
        "192.0.2.62       0x1         0x0         00:00:00:00:00:00     *        eth0\n"
        "192.0.2.63       0x1         0x6         02:00:00:00:00:05     *        eth1\n";
    const QString eth0 = QStringLiteral("eth0");
    EXPECT_TRUE(ArpTableHasPermanentEntry(table, QStringLiteral("192.0.2.60"),
                                          QStringLiteral("02:00:00:00:00:03"), eth0));
    EXPECT_TRUE(ArpTableHasPermanentEntry(table, QStringLiteral("192.0.2.60"),
                                          QStringLiteral("02:00:00:00:00:03").toUpper(), eth0));
    // A learnt entry, an incomplete one, another address, another link, another MAC.
    EXPECT_FALSE(ArpTableHasPermanentEntry(table, QStringLiteral("192.0.2.61"),
                                           QStringLiteral("02:00:00:00:00:04"), eth0));
    EXPECT_FALSE(ArpTableHasPermanentEntry(table, QStringLiteral("192.0.2.62"),
                                           QStringLiteral("00:00:00:00:00:00"), eth0));
    EXPECT_FALSE(ArpTableHasPermanentEntry(table, QStringLiteral("192.0.2.6"),
                                           QStringLiteral("02:00:00:00:00:03"), eth0));
    EXPECT_FALSE(ArpTableHasPermanentEntry(table, QStringLiteral("192.0.2.63"),
                                           QStringLiteral("02:00:00:00:00:05"), eth0));
    EXPECT_FALSE(ArpTableHasPermanentEntry(table, QStringLiteral("192.0.2.60"),
                                           QStringLiteral("02:00:00:00:00:0a"), eth0));
    // The heading line is never taken for an entry.
    EXPECT_FALSE(ArpTableHasPermanentEntry(table, QStringLiteral("IP"), QStringLiteral("HW"),
                                           QStringLiteral("Mask")));
}

TEST(RouteLink, LoopbackAddressesGoOverTheLoopbackLink) {
    // Nothing is sent: the route is only looked up.
    EXPECT_EQ(RouteLinkTo(QStringLiteral("127.0.0.1")), QStringLiteral("lo"));
    EXPECT_THROW(RouteLinkTo(QStringLiteral("1.2.3")), EConvertError);
}

} // namespace

TEST(FreeAddress, TopOfTheNetworkDownPastWhatIsTakenOrAnswers) {
    TFreeAddressInputs inputs;
    inputs.Subnet = {0xC0000201, 24}; // 192.0.2.1/24
    std::vector<std::uint32_t> echoed;
    inputs.Answers = [&echoed](std::uint32_t address) {
        echoed.push_back(address);
        return address == 0xC00002FC; // .252 answers
    };
    EXPECT_EQ(ProposeFreeAddress(inputs).Address, 0xC00002FEu);
    // The gateway at .254 and a neighbour at .253 are never asked; .252 answers.
    inputs.Taken = {0xC00002FE, 0xC00002FD};
    echoed.clear();
    EXPECT_EQ(ProposeFreeAddress(inputs).Address, 0xC00002FBu);
    EXPECT_EQ(echoed, (std::vector<std::uint32_t>{0xC00002FC, 0xC00002FB}));

    // A /30 has two host addresses: the computer's and one more.
    inputs = {{0xC6336401, 30}, {}, [](std::uint32_t) {
                  return false;
              }};
    EXPECT_EQ(ProposeFreeAddress(inputs).Address, 0xC6336402u);
    inputs.Subnet.PrefixLength = 31;
    const TFreeAddressProposal tooSmall = ProposeFreeAddress(inputs);
    EXPECT_FALSE(tooSmall.Address);
    EXPECT_EQ(tooSmall.Reason, QStringLiteral("The network 198.51.100.0/31 is too small to "
                                              "propose a free address in it."));
    inputs = {{0xC0000201, 24}, {}, [](std::uint32_t) {
                  return true;
              }};
    const TFreeAddressProposal none = ProposeFreeAddress(inputs, 3);
    EXPECT_FALSE(none.Address);
    EXPECT_EQ(none.Reason, QStringLiteral("No free address was found in 192.0.2.0/24: the 3 tried "
                                          "all answer or are in use."));
}

TEST(FreeAddress, GatewaysAndNeighboursFromTheSystemTables) {
    const QByteArray routes = "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\n"
                              "eth0\t00000000\t FE0200C0\t0003\t0\t0\t0\t00000000\n"
                              "eth0\t000200C0\t00000000\t0001\t0\t0\t0\t00FFFFFF\n";
    EXPECT_EQ(RouteTableGateways(routes), QList<std::uint32_t>{0xC00002FE});
    const QByteArray arp =
        "IP address       HW type     Flags       HW address            Mask     Device\n"
        "192.0.2.11       0x1         0x2         02:00:00:00:00:01     *        eth0\n"
        "192.0.2.99       0x1         0x0         00:00:00:00:00:00     *        eth0\n";
    EXPECT_EQ(ArpTableAddresses(arp), (QList<std::uint32_t>{0xC000020B, 0xC0000263}));
}

// After an IP change: searches until the device answers at its new address, and no longer than
// the wait given.
TEST(FindDeviceAt, SearchesUntilTheMacAnswersAtTheAddressOrTheWaitEnds) {
    const auto device = [](const char *ip) {
        TRelynPar record;
        record.IPAddress = QString::fromLatin1(ip);
        record.MACAddress = QStringLiteral("02-00-00-00-00-0A");
        return record;
    };
    int searches = 0;
    const auto moving = [&searches, &device](const QString &) -> QList<TRelynPar> {
        ++searches;
        if (searches == 1) {
            throw ERelynError(QStringLiteral("Socket Error # 101"));
        }
        TRelynPar moved = device(searches < 4 ? "192.0.2.11" : "192.0.2.200");
        return {device("192.0.2.200"), moved};
    };
    // Any way of writing the MAC address that IsMacText takes.
    const auto found = RelynFindDeviceAt(
        [&](const QString &types) {
            auto records = moving(types);
            if (!records.isEmpty()) {
                records.first().MACAddress = QStringLiteral("02-00-00-00-00-0B");
            }
            return records;
        },
        QStringLiteral("02-00-00-00-0-a"), QStringLiteral("192.0.2.200"), 5000);
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(found->IPAddress, QStringLiteral("192.0.2.200"));
    EXPECT_EQ(searches, 4);

    QElapsedTimer clock;
    clock.start();
    searches = 0;
    EXPECT_FALSE(RelynFindDeviceAt(moving, QStringLiteral("02-00-00-00-00-0B"),
                                   QStringLiteral("192.0.2.11"), 700));
    EXPECT_GE(clock.elapsed(), 700);
    EXPECT_LT(clock.elapsed(), 1500);
    EXPECT_GE(searches, 3);

    // Told to stop, it gives up between searches, long before its time.
    clock.restart();
    searches = 0;
    EXPECT_FALSE(RelynFindDeviceAt(moving, QStringLiteral("02-00-00-00-00-0B"),
                                   QStringLiteral("192.0.2.11"), 60000,
                                   [&searches] { return searches >= 2; }));
    EXPECT_EQ(searches, 2);
    EXPECT_LT(clock.elapsed(), 1000);
}
