#include "discovery/relynerror.h"
#include "discovery/relynnoreply.h"
#include "discovery/relynsearch.h"
#include "support/nethelpers.h"
#include "tools/testsupport/printers.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cerrno>
#include <deque>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <map>
#include <optional>
#include <thread>

using namespace Qt::StringLiterals;

namespace {

QByteArray DiscoveryReply(int length, const QByteArray &mac = QByteArray::fromHex("02000012345F")) {
    QByteArray reply(length, '\x11');
    if (length >= 30)
        reply.replace(24, 6, mac);
    return reply;
}

QByteArray InfoBlock(int family, int a, int b, int c, int model, const QByteArray &text,
                     int start = RelynReply::InfoDescriptionStart, int length = 130) {
    QByteArray block(length, '\0');
    block.replace(start, text.size(), text);
    if (length > 86) {
        block[82] = static_cast<char>(family);
        block[83] = static_cast<char>(a);
        block[84] = static_cast<char>(b);
        block[85] = static_cast<char>(c);
        block[86] = static_cast<char>(model);
    }
    return block;
}

QByteArray LegacyBlock(const QByteArray &text) {
    return InfoBlock(0, 0, 0, 0, 0, text, RelynReply::LegacyDescriptionStart);
}

// A network of scripted devices behind one endpoint: each query puts the answering device's
// datagram into the inbox, and every receive takes the oldest one.
class FakeNetwork : public TRelynEndpoint {
public:
    struct Device {
        QList<QByteArray> Discovery{DiscoveryReply(30)};
        QList<QByteArray> Info;
        QList<QByteArray> Legacy;
    };

    std::map<QString, Device> Devices;
    std::vector<QString> ArrivalOrder;
    std::vector<std::pair<QString, QByteArray>> Sent;
    std::deque<TRelynDatagram> Inbox;
    int QuietWaits = 0;
    QString Host;

    Device &Add(const QString &ip) {
        ArrivalOrder.push_back(ip);
        return Devices[ip];
    }

    void SetRemoteHost(const QString &host) override { Host = host; }
    void SetRemotePort(std::uint16_t port) override { EXPECT_EQ(port, RelynDevicePort); }
    void Broadcast(const QByteArray &data, std::uint16_t port) override {
        EXPECT_EQ(port, RelynDevicePort);
        Sent.emplace_back(QStringLiteral("broadcast"), data);
        for (const QString &ip : ArrivalOrder)
            for (const QByteArray &reply : Devices[ip].Discovery)
                Deliver(ip, reply);
    }
    void Send(const QByteArray &data) override {
        Sent.emplace_back(Host, data);
        auto device = Devices.find(Host);
        if (device == Devices.end())
            return;
        const QList<QByteArray> &answers =
            data == RelynReply::InfoQuery() ? device->second.Info : device->second.Legacy;
        for (const QByteArray &reply : answers)
            Deliver(Host, reply);
    }
    TRelynDatagram Receive(int timeoutMs) override {
        // A range search waits only until its next send is due.
        if (Refused.isEmpty()) {
            EXPECT_LE(timeoutMs, 200);
        }
        // Every other wait, and every wait with nothing else to come, gets the flood.
        if (Flood && (++FloodTurn % 2 == 1 || Inbox.empty())) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            return {Flood->second, Flood->first, RelynDevicePort, true, LinkIndex};
        }
        if (Inbox.empty()) {
            ++QuietWaits;
            return {};
        }
        TRelynDatagram datagram = Inbox.front();
        Inbox.pop_front();
        // The system's verdict on a datagram over the receive buffer's size.
        if (datagram.SenderPort == 0)
            throw ESocketError::FromErrno(EMSGSIZE);
        ReceivedAfterSends.push_back(Sent.size());
        return datagram;
    }
    // A range search's unicast discovery query; the system refuses the addresses in Refused.
    int TrySendTo(const QString &address, std::uint16_t port, const QByteArray &data) {
        EXPECT_EQ(port, RelynDevicePort);
        Sent.emplace_back(address, data);
        if (Refused.contains(address))
            return EHOSTUNREACH;
        if (Busy.value(address) > 0) {
            --Busy[address];
            return EAGAIN;
        }
        if (auto device = Devices.find(address); device != Devices.end())
            for (const QByteArray &reply : device->second.Discovery)
                Deliver(address, reply);
        return 0;
    }
    QStringList Refused;
    // Sends to these addresses find the send buffer full this many times first.
    QHash<QString, int> Busy;
    std::vector<size_t> ReceivedAfterSends;
    // Every wait gets this datagram at once, for ever, between the others.
    std::optional<std::pair<QString, QByteArray>> Flood;
    int FloodTurn = 0;
    int LinkIndex = 0; // the interface every datagram comes in on
    static inline const QByteArray OverLong = "over-long";
    void Deliver(const QString &ip, const QByteArray &data) {
        Inbox.push_back({data == OverLong ? QByteArray() : data, ip,
                         data == OverLong ? std::uint16_t(0) : RelynDevicePort, true, LinkIndex});
    }
};

// The engine owns and destroys its endpoint; the test keeps the network and its log.
class Proxy : public TRelynEndpoint {
public:
    explicit Proxy(FakeNetwork &network)
        : Network(network) {}
    void SetRemoteHost(const QString &host) override { Network.SetRemoteHost(host); }
    void SetRemotePort(std::uint16_t port) override { Network.SetRemotePort(port); }
    void Broadcast(const QByteArray &data, std::uint16_t port) override {
        Network.Broadcast(data, port);
    }
    void Send(const QByteArray &data) override { Network.Send(data); }
    TRelynDatagram Receive(int timeoutMs) override { return Network.Receive(timeoutMs); }
    int TrySendTo(const QString &address, std::uint16_t port, const QByteArray &data) override {
        return Network.TrySendTo(address, port, data);
    }

private:
    FakeNetwork &Network;
};

class RelynSearchTest : public testing::Test {
protected:
    FakeNetwork Network;
    int EndpointsMade = 0;
    TRelynSearch Engine{[this] {
        ++EndpointsMade;
        return std::make_unique<Proxy>(Network);
    }};

    std::vector<std::pair<QString, QByteArray>> QueriesTo(const QString &ip) const {
        std::vector<std::pair<QString, QByteArray>> queries;
        for (const auto &sent : Network.Sent)
            if (sent.first == ip)
                queries.push_back(sent);
        return queries;
    }
};

const QString A = QStringLiteral("192.0.2.11");
const QString B = QStringLiteral("192.0.2.12");

} // namespace

TEST(RelynReply, QueriesAreFourBytes) {
    EXPECT_EQ(RelynReply::DiscoveryQuery(), QByteArray::fromHex("000000F6"));
    EXPECT_EQ(RelynReply::InfoQuery(), QByteArray::fromHex("000000E4"));
    EXPECT_EQ(RelynReply::LegacyInfoQuery(), QByteArray::fromHex("000000E6"));
}

TEST(RelynReply, MacTextOnlyFromThirtyByteReplies) {
    EXPECT_EQ(RelynReply::MacText(DiscoveryReply(30)), QStringLiteral("02-00-00-12-34-5F"));
    EXPECT_EQ(RelynReply::MacText(DiscoveryReply(30, QByteArray::fromHex("ABCDEF000102"))),
              QStringLiteral("AB-CD-EF-00-01-02"));
    EXPECT_EQ(RelynReply::MacText(DiscoveryReply(29)), QStringLiteral("N/A"));
    EXPECT_EQ(RelynReply::MacText(DiscoveryReply(31)), QStringLiteral("N/A"));
}

TEST(RelynReply, FirmwareTextPadsOnlyTheLastNumber) {
    EXPECT_EQ(RelynReply::FirmwareText(InfoBlock(1, 6, 5, 3, 0, {})), QStringLiteral("1-6-5.03"));
    EXPECT_EQ(RelynReply::FirmwareText(InfoBlock(2, 5, 12, 17, 0, {})),
              QStringLiteral("2-5-12.17"));
    EXPECT_EQ(RelynReply::FirmwareText(InfoBlock(1, 4, 4, 255, 0, {})),
              QStringLiteral("1-4-4.255"));
    EXPECT_EQ(RelynReply::FirmwareText(InfoBlock(0, 0, 0, 0, 0, {})), QStringLiteral("0-0-0.00"));
}

TEST(RelynReply, CurrentFirmwareThresholdsPerFamily) {
    const std::pair<const char *, bool> cases[] = {
        {"1-4-5.00", true},   {"1-4-4.255", false},  {"1-5-0.00", true},   {"1-3-255.255", false},
        {"4-4-2.00", true},   {"4-4-1.99", false},   {"2-5-2.00", true},   {"2-5-1.255", false},
        {"2-6-0.00", true},   {"3-9-9.99", false},   {"5-9-9.99", false},  {"6-9-9.99", false},
        {"0-9-9.99", false},  {"N/A", true},         {"1-4-5", true},      {"1-x-5.00", false},
        {"257-4-5.00", true}, {"1-4-260.00", false}, {"1-4-261.00", true}, {"1-260-5.00", true},
    };
    for (const auto &[firmware, current] : cases)
        EXPECT_EQ(RelynReply::IsCurrentFirmware(QString::fromLatin1(firmware)), current)
            << firmware;
}

TEST(RelynReply, DescriptionStopsAtZeroOrAfterSixtyFiveBytes) {
    const QByteArray long70(70, 'd');
    EXPECT_EQ(RelynReply::Description(InfoBlock(1, 4, 5, 0, 0, long70), 4), QString(65, u'd'));
    EXPECT_EQ(RelynReply::Description(InfoBlock(1, 4, 5, 0, 0, QByteArray("ab\0cd", 5)), 4),
              QStringLiteral("ab"));
    EXPECT_EQ(RelynReply::Description(InfoBlock(1, 4, 5, 0, 0, QByteArray("\0cd", 3)), 4),
              QString());
    EXPECT_EQ(RelynReply::Description(InfoBlock(1, 4, 5, 0, 0, "x", 4, 129), 4), QString());
    // Bytes above 127 are one character each.
    EXPECT_EQ(RelynReply::Description(InfoBlock(1, 4, 5, 0, 0, QByteArray("\xb5m\0", 3)), 4),
              QStringLiteral("\u00b5m"));
}

TEST_F(RelynSearchTest, QuietNetworkGivesNoRecordsAfterOneWait) {
    Engine.Search();
    EXPECT_EQ(Engine.Count(), 0);
    EXPECT_EQ(Network.QuietWaits, 1);
    ASSERT_EQ(Network.Sent.size(), 1u);
    EXPECT_EQ(Network.Sent[0].second, RelynReply::DiscoveryQuery());
    EXPECT_EQ(EndpointsMade, 1);
}

TEST_F(RelynSearchTest, DevicesAreListedInArrivalOrderAndQueriedInThatOrder) {
    Network.Add(B).Info = {InfoBlock(1, 4, 5, 0, 0, "second")};
    Network.Add(A).Info = {InfoBlock(2, 5, 2, 0, 0, "first")};
    Engine.Search();
    ASSERT_EQ(Engine.Count(), 2);
    EXPECT_EQ(Engine.Item(0),
              (TRelynPar{B, QStringLiteral("02-00-00-12-34-5F"), QStringLiteral("1-4-5.00"),
                         QStringLiteral("second"), QStringLiteral("Kx3xx")}));
    EXPECT_EQ(Engine.Item(1).IPAddress, A);
    EXPECT_EQ(Engine.Item(1).DeviceType, QStringLiteral("LAN Adapter"));
    EXPECT_EQ(Engine.Item(1).Description, QStringLiteral("first"));
    ASSERT_EQ(Network.Sent.size(), 3u);
    EXPECT_EQ(Network.Sent[1], std::make_pair(B, RelynReply::InfoQuery()));
    EXPECT_EQ(Network.Sent[2], std::make_pair(A, RelynReply::InfoQuery()));
    // One quiet wait ends the collection; answered queries end their waits at once.
    EXPECT_EQ(Network.QuietWaits, 1);
}

TEST_F(RelynSearchTest, OddLengthRepliesKeepNotAvailableFields) {
    Network.Add(A).Discovery = {DiscoveryReply(29)};
    Network.Devices[A].Info = {InfoBlock(1, 4, 5, 0, 0, "short", 4, 129)};
    Network.Add(B).Discovery = {DiscoveryReply(31)};
    Engine.Search();
    ASSERT_EQ(Engine.Count(), 2);
    EXPECT_EQ(Engine.Item(0), (TRelynPar{A, QStringLiteral("N/A"), QStringLiteral("N/A"), QString(),
                                         QStringLiteral("N/A")}));
    EXPECT_EQ(Engine.Item(1).MACAddress, QStringLiteral("N/A"));
    // Neither a 129-byte block nor silence sends the legacy query.
    EXPECT_EQ(QueriesTo(A).size(), 1u);
    EXPECT_EQ(QueriesTo(B).size(), 1u);
    EXPECT_EQ(Network.QuietWaits, 2);
}

TEST_F(RelynSearchTest, OldFirmwareAndOtherFamiliesAskTheLegacyQuery) {
    struct Case {
        int Family, A, B, C;
        bool Legacy;
        const char *Type;
    };
    const Case cases[] = {
        {1, 4, 5, 0, false, "Kx3xx"},       {1, 4, 4, 255, true, "Kx3xx"},
        {2, 5, 2, 0, false, "LAN Adapter"}, {2, 5, 1, 9, true, "LAN Adapter"},
        {4, 4, 2, 0, false, "D4208"},       {4, 4, 1, 0, true, "D4208"},
        {3, 9, 9, 9, true, "QV+"},          {5, 9, 9, 9, true, "QV5"},
        {6, 9, 9, 9, true, "QV6"},          {0, 9, 9, 9, true, "N/A"},
    };
    for (const Case &c : cases) {
        FakeNetwork network;
        auto &device = network.Add(A);
        device.Info = {InfoBlock(c.Family, c.A, c.B, c.C, c.Family == 4 ? 5 : 0, "from info")};
        device.Legacy = {LegacyBlock("from legacy")};
        TRelynSearch engine([&] { return std::make_unique<Proxy>(network); });
        engine.Search();
        ASSERT_EQ(engine.Count(), 1);
        EXPECT_EQ(engine.Item(0).Description,
                  c.Legacy ? QStringLiteral("from legacy") : QStringLiteral("from info"))
            << c.Family << "-" << c.A << "-" << c.B << "." << c.C;
        EXPECT_EQ(engine.Item(0).DeviceType, QString::fromLatin1(c.Type));
        EXPECT_EQ(network.Sent.size(), c.Legacy ? 3u : 2u);
        if (c.Legacy) {
            EXPECT_EQ(network.Sent[2], std::make_pair(A, RelynReply::LegacyInfoQuery()));
        }
    }
}

TEST_F(RelynSearchTest, UnansweredLegacyQueryLeavesAnEmptyDescription) {
    Network.Add(A).Info = {InfoBlock(3, 1, 0, 0, 0, "ignored")};
    Engine.Search();
    ASSERT_EQ(Engine.Count(), 1);
    EXPECT_EQ(Engine.Item(0).Firmware, QStringLiteral("3-1-0.00"));
    EXPECT_EQ(Engine.Item(0).Description, QString());
    EXPECT_EQ(Network.QuietWaits, 2);
}

TEST_F(RelynSearchTest, EveryDatagramOfTheCollectionIsADevice) {
    // A device that answers twice is listed twice and asked twice.
    Network.Add(A).Discovery = {DiscoveryReply(30), DiscoveryReply(30)};
    Network.Devices[A].Info = {InfoBlock(1, 4, 5, 0, 0, "x")};
    Engine.Search();
    ASSERT_EQ(Engine.Count(), 2);
    EXPECT_EQ(Engine.Item(0), Engine.Item(1));
    EXPECT_EQ(QueriesTo(A).size(), 2u);
}

TEST_F(RelynSearchTest, LateDiscoveryReplyIsTakenAsTheNextDevicesInfo) {
    Network.Add(A).Info = {DiscoveryReply(30)};
    Network.Add(B).Info = {InfoBlock(1, 4, 5, 0, 1, "b")};
    Engine.Search();
    ASSERT_EQ(Engine.Count(), 2);
    EXPECT_EQ(Engine.Item(0).Firmware, QStringLiteral("N/A"));
    EXPECT_EQ(Engine.Item(0).DeviceType, QStringLiteral("N/A"));
    EXPECT_EQ(Engine.Item(1).DeviceType, QStringLiteral("K6609"));
}

// What one hostile or broken sender sends ends nobody's search: empty and over-long datagrams,
// an info reply sent twice (it must not land on the next device's row), a reply from the
// LAN's broadcast address, a flood that never stops.
TEST_F(RelynSearchTest, HostileDatagramsAreSkippedAndTheOthersListed) {
    Network.Add(A).Discovery = {QByteArray(), FakeNetwork::OverLong, DiscoveryReply(30)};
    Network.Devices[A].Info = {InfoBlock(1, 4, 5, 0, 0, "a"), InfoBlock(1, 4, 5, 0, 0, "a"),
                               QByteArray()};
    Network.Add(B).Info = {InfoBlock(1, 4, 5, 0, 1, "b")};
    Engine.Search();
    ASSERT_EQ(Engine.Count(), 2);
    EXPECT_EQ(Engine.Item(0).Description, QStringLiteral("a"));
    EXPECT_EQ(Engine.Item(1).Description, QStringLiteral("b"));
    EXPECT_EQ(Engine.Item(1).DeviceType, QStringLiteral("K6609"));
    EXPECT_EQ(Engine.Skipped(), (QStringList{u"An empty datagram from 192.0.2.11 was skipped."_s,
                                             u"A datagram of more than 8192 bytes was skipped."_s,
                                             u"An empty datagram from 192.0.2.11 was skipped."_s}));

    struct OneLan : TRelynNetwork {
        QList<TRelynInterface> BroadcastInterfaces() const override {
            return {{2, u"eth0"_s, {{0xC0000201, 24}}}};
        }
        TRelynInterface Interface(int) const override { return BroadcastInterfaces()[0]; }
        bool RoutesVia(std::uint32_t, const QString &) const override { return true; }
    };
    FakeNetwork lan;
    lan.LinkIndex = 2;
    lan.Add(u"192.0.2.255"_s);
    lan.Add(A).Info = {InfoBlock(1, 4, 5, 0, 0, "a")};
    TRelynSearch engine([&] { return std::make_unique<Proxy>(lan); }, std::make_shared<OneLan>());
    engine.Search();
    ASSERT_EQ(engine.Count(), 1);
    EXPECT_EQ(engine.Item(0).IPAddress, A);
    EXPECT_EQ(engine.Skipped(), QStringList{u"A reply from 192.0.2.255, the network's own or "
                                            u"broadcast address on eth0 (192.0.2.0/24), was "
                                            u"skipped."_s});
    for (const auto &sent : lan.Sent)
        EXPECT_NE(sent.first, u"192.0.2.255"_s);

    // A flood's repeats neither hold the search nor pass for the flooding device's info.
    FakeNetwork flooded;
    flooded.Flood = {B, DiscoveryReply(30)};
    flooded.Add(B).Info = {InfoBlock(1, 4, 5, 0, 1, "b")};
    flooded.Add(A);
    flooded.Devices[A].Info = {InfoBlock(1, 4, 5, 0, 0, "a")};
    TRelynSearch floodedEngine([&] { return std::make_unique<Proxy>(flooded); });
    QElapsedTimer clock;
    clock.start();
    floodedEngine.Search();
    EXPECT_LT(clock.elapsed(), 5 * TRelynSearch::WaitMs);
    ASSERT_EQ(floodedEngine.Count(), TRelynSearch::SameReplyLimit + 1);
    QStringList descriptions;
    for (const TRelynPar &record : floodedEngine.Results())
        descriptions << record.IPAddress + u' ' + record.Description;
    EXPECT_EQ(descriptions, (QStringList{B + u" b"_s, B + u" b"_s, A + u" a"_s}));
    EXPECT_TRUE(
        floodedEngine.Skipped().contains(u"Repeated replies from 192.0.2.12 were skipped."_s));
}

TEST_F(RelynSearchTest, NamesFileIsLoadedWhenSet) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("qlt.ini"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[GlobalTypes]\nLan=Gateway\n");
    file.close();
    Engine.SetNamesFile(path);
    EXPECT_EQ(Engine.NamesFile(), path);
    Network.Add(A).Info = {InfoBlock(2, 5, 2, 0, 0, "")};
    Engine.Search();
    EXPECT_EQ(Engine.Item(0).DeviceType, QStringLiteral("Gateway"));
}

TEST(RelynNetwork, RouteInterfaceIsTheLongestPrefixThenTheLowestMetric) {
    // /proc/net/route of a laptop: Wi-Fi (wlan0) the default, a cable on 192.0.2.0/24, a
    // static route to 203.0.113.0/24 through a router on the cable.
    const QByteArray table =
        "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n"
        "wlan0\t00000000\t0164A8C0\t0003\t0\t0\t600\t00000000\t0\t0\t0\n"
        "eth0\t00000000\tFE0200C0\t0003\t0\t0\t900\t00000000\t0\t0\t0\n"
        "eth0\t000200C0\t00000000\t0001\t0\t0\t0\t00FFFFFF\t0\t0\t0\n"
        "eth0\t007100CB\tFE0200C0\t0003\t0\t0\t0\t00FFFFFF\t0\t0\t0\n"
        "wlan0\t0064A8C0\t00000000\t0001\t0\t0\t600\t00FFFFFF\t0\t0\t0\n"
        "eth9\t0B7100CB\t00000000\t0000\t0\t0\t0\tFFFFFFFF\t0\t0\t0\n";
    const auto via = [&](const char *address) {
        std::uint32_t value = 0;
        EXPECT_TRUE(RelynParseAddress(QString::fromLatin1(address), value));
        return RelynRouteInterface(table, value);
    };
    EXPECT_EQ(via("192.0.2.11"), QStringLiteral("eth0"));
    EXPECT_EQ(via("203.0.113.11"), QStringLiteral("eth0")); // the route that is down is none
    EXPECT_EQ(via("10.0.0.11"), QStringLiteral("wlan0"));   // factory address: the default
    EXPECT_EQ(via("192.168.100.7"), QStringLiteral("wlan0"));
    EXPECT_EQ(RelynRouteInterface("Iface\tDestination\n", 1), QString());
}

TEST(RelynNetwork, RangesLeaveOutNetworkAndBroadcastAddresses) {
    TRelynRange range;
    QString error;
    ASSERT_TRUE(RelynParseRange(QStringLiteral("203.0.113.77/24"), range, error));
    EXPECT_EQ(RelynAddressText(range.First), QStringLiteral("203.0.113.1"));
    EXPECT_EQ(RelynAddressText(range.Last), QStringLiteral("203.0.113.254"));
    ASSERT_TRUE(RelynParseRange(QStringLiteral("10.0.0.11"), range, error));
    EXPECT_EQ(range.Count(), 1);
    ASSERT_TRUE(RelynParseRange(QStringLiteral("10.0.0.10/31"), range, error));
    EXPECT_EQ(range.Count(), 2);
    ASSERT_TRUE(RelynParseRange(QStringLiteral("10.0.0.0/16"), range, error));
    EXPECT_EQ(range.Count(), 65534);
    for (const char *bad : {"10.0.0/24", "10.0.0.0/33", "10.0.0.0/", "host/24", "10.0.0.0/-0",
                            "10.0.0.0/+8", "10.0.0.0/ 8", "1.2.3.4/2/3"})
        EXPECT_FALSE(RelynParseRange(QString::fromLatin1(bad), range, error)) << bad;
    EXPECT_EQ(error, QStringLiteral("'1.2.3.4/2/3' is not a range such as 192.0.2.0/24."));
}

TEST(RelynNetwork, OverlappingRangesAreSweptOnce) {
    const auto ranges = [](std::initializer_list<const char *> texts) {
        QList<TRelynRange> list;
        for (const char *text : texts) {
            TRelynRange range;
            QString error;
            EXPECT_TRUE(RelynParseRange(QString::fromLatin1(text), range, error)) << text;
            list << range;
        }
        QStringList merged;
        for (const TRelynRange &range : RelynMergeRanges(list))
            merged << RelynAddressText(range.First) + u'-' + RelynAddressText(range.Last);
        return merged;
    };
    EXPECT_EQ(ranges({"203.0.113.0/24", "203.0.113.0/25"}),
              QStringList{u"203.0.113.1-203.0.113.254"_s});
    EXPECT_EQ(ranges({"10.0.0.9", "10.0.0.8", "10.0.0.20", "10.0.0.10"}),
              (QStringList{u"10.0.0.8-10.0.0.10"_s, u"10.0.0.20-10.0.0.20"_s}));
    EXPECT_EQ(ranges({"255.255.255.255", "255.255.255.254/31"}),
              QStringList{u"255.255.255.254-255.255.255.255"_s});
}

TEST(RelynNoReply, BlockingChainIsAnInputChainThatDropsAndDoesNotAcceptTheDevicesPort) {
    const auto ruleset = [](const char *policy, const char *rules) {
        return QByteArray(R"({"nftables": [{"metainfo": {"json_schema_version": 1}},
            {"table": {"family": "inet", "name": "filter", "handle": 1}},
            {"chain": {"family": "inet", "table": "filter", "name": "output", "handle": 2,
                       "type": "filter", "hook": "output", "prio": 0, "policy": "drop"}},
            {"chain": {"family": "inet", "table": "filter", "name": "input", "handle": 3,
                       "type": "filter", "hook": "input", "prio": 0, "policy": ")") +
               policy + R"("}})" + rules + "]}";
    };
    const QByteArray established = R"(,{"rule": {"family": "inet", "table": "filter",
        "chain": "input", "expr": [{"match": {"op": "in", "left": {"ct": {"key": "state"}},
        "right": ["established", "related"]}}, {"accept": null}]}})";
    const QByteArray devicePort = R"(,{"rule": {"family": "inet", "table": "filter",
        "chain": "input", "expr": [{"match": {"op": "==", "left": {"payload": {"protocol":
        "udp", "field": "sport"}}, "right": {"set": [53, {"range": [30000, 31000]}]}}},
        {"accept": null}]}})";
    const QByteArray finalReject = R"(,{"rule": {"family": "inet", "table": "filter",
        "chain": "input", "expr": [{"counter": {"packets": 0, "bytes": 0}},
        {"reject": {"type": "icmpx", "expr": "admin-prohibited"}}]}})";
    const QString chain = QStringLiteral("inet filter input");
    EXPECT_EQ(RelynBlockingChain(ruleset("drop", established)), chain);
    EXPECT_EQ(RelynBlockingChain(ruleset("accept", established + finalReject)), chain);
    EXPECT_EQ(RelynBlockingChain(ruleset("drop", established + devicePort)), QString());
    EXPECT_EQ(RelynBlockingChain(ruleset("accept", established)), QString());
    EXPECT_EQ(RelynBlockingChain("nft: Operation not permitted"), QString());
}

TEST_F(RelynSearchTest, RangeSearchGoesPastRefusedSendsAndReadsRepliesMeanwhile) {
    Network.Add(QStringLiteral("192.0.2.14")).Info = {InfoBlock(1, 4, 5, 0, 0, "far")};
    Network.Add(A).Info = {InfoBlock(1, 4, 5, 0, 0, "near")};
    Network.Refused = {QStringLiteral("192.0.2.12")};
    Network.Busy[QStringLiteral("192.0.2.14")] = 3;
    TRelynSearchScope scope;
    scope.Rate = 100;
    scope.Ranges = {TRelynRange{}};
    QString error;
    ASSERT_TRUE(RelynParseRange(QStringLiteral("192.0.2.8/29"), scope.Ranges[0], error));
    Engine.SetScope(scope);
    Engine.Search();

    ASSERT_EQ(Engine.Count(), 2);
    EXPECT_EQ(Engine.Item(0).IPAddress, A);
    EXPECT_EQ(Engine.Item(0).Description, QStringLiteral("near"));
    EXPECT_EQ(Engine.Item(1).Description, QStringLiteral("far"));
    EXPECT_EQ(Engine.RefusedSends(), 1);
    // Three tries found the send buffer full, the fourth went out, then its info query.
    EXPECT_EQ(QueriesTo(QStringLiteral("192.0.2.14")).size(), 5u);
    for (int host = 9; host <= 14; ++host)
        EXPECT_EQ(QueriesTo(QStringLiteral("192.0.2.%1").arg(host)).front().second,
                  RelynReply::DiscoveryQuery())
            << host;
    // .11's reply was read before the sweep reached .12.
    ASSERT_FALSE(Network.ReceivedAfterSends.empty());
    EXPECT_LE(Network.ReceivedAfterSends.front(), 4u);
}
