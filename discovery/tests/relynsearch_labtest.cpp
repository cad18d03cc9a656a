// Searches inside the test LAN: a real broadcast from the computer's namespace to simulated
// devices, each restarted with the behaviour a case needs.
#include "discovery/relyndevicelist.h"
#include "discovery/relynerror.h"
#include "discovery/relynsearch.h"
#include "support/nethelpers.h"
#include "tools/testsupport/lab.h"
#include "tools/testsupport/printers.h"

#include <chrono>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <map>

namespace {

using Options = std::vector<std::string>;

using labtest::Address;
using labtest::Mac;

class RelynSearchLab : public testing::Test {
protected:
    void SetUp() override {
        if (!labtest::inLab())
            GTEST_SKIP() << labtest::notInLab;
        ASSERT_GE(labtest::deviceCount(), 5);
    }

    // Restarts every device: those named with their options, the others silent.
    void Devices(const std::map<int, Options> &answering) {
        for (int n = 1; n <= labtest::deviceCount(); ++n) {
            const auto found = answering.find(n);
            const Options options =
                found == answering.end() ? Options{"--no-discovery"} : found->second;
            ASSERT_TRUE(labtest::restartDevice(n, options)) << "device " << n;
        }
    }

    QList<TRelynPar> Search() {
        const auto start = std::chrono::steady_clock::now();
        QList<TRelynPar> found = RunRelynSearch(QString());
        Elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - start);
        return found;
    }

    static size_t Queries(int n, const char *kind) {
        return labtest::logLines(n, std::string("recv ") + kind).size();
    }

    std::chrono::milliseconds Elapsed{};
};

} // namespace

TEST_F(RelynSearchLab, QuietNetworkEndsAfterOneWait) {
    Devices({});
    EXPECT_TRUE(Search().isEmpty());
    EXPECT_GE(Elapsed.count(), 200);
    EXPECT_LT(Elapsed.count(), 400);
    for (int n = 1; n <= 5; ++n) {
        EXPECT_EQ(Queries(n, "discovery"), 1u) << n;
        EXPECT_EQ(Queries(n, "info"), 0u) << n;
    }
}

TEST_F(RelynSearchLab, DevicesAreListedInArrivalOrder) {
    Devices({{3, {"--description", "third"}},
             {1, {"--discovery-delay-ms", "60", "--description", "first"}}});
    const QList<TRelynPar> two = Search();
    ASSERT_EQ(two.size(), 2);
    EXPECT_EQ(two[0], (TRelynPar{Address(3), Mac(3), QStringLiteral("1-4-5.00"),
                                 QStringLiteral("third"), QStringLiteral("Kx3xx")}));
    EXPECT_EQ(two[1].IPAddress, Address(1));
    EXPECT_EQ(two[1].Description, QStringLiteral("first"));
    EXPECT_EQ(Queries(1, "info"), 1u);
    EXPECT_EQ(Queries(3, "info"), 1u);
    // The answered info queries add next to nothing to the one quiet wait.
    EXPECT_LT(Elapsed.count(), 400);

    std::map<int, Options> five;
    for (int n = 1; n <= 5; ++n)
        five[n] = {"--discovery-delay-ms", std::to_string((5 - n) * 40)};
    Devices(five);
    const QList<TRelynPar> all = Search();
    ASSERT_EQ(all.size(), 5);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(all[i].IPAddress, Address(5 - i));
        EXPECT_EQ(all[i].MACAddress, Mac(5 - i));
        EXPECT_EQ(Queries(5 - i, "info"), 1u);
        EXPECT_EQ(Queries(5 - i, "legacy"), 0u);
    }
}

TEST_F(RelynSearchLab, OddReplyLengthsLeaveFieldsNotAvailable) {
    Devices({{1, {"--discovery-length", "29"}},
             {2, {"--discovery-length", "31"}},
             {3, {"--info-length", "129", "--description", "never read"}},
             {4, {"--no-info"}}});
    const QList<TRelynPar> found = Search();
    ASSERT_EQ(found.size(), 4);
    std::map<QString, TRelynPar> byAddress;
    for (const TRelynPar &record : found)
        byAddress[record.IPAddress] = record;
    EXPECT_EQ(byAddress[Address(1)].MACAddress, QStringLiteral("N/A"));
    EXPECT_EQ(byAddress[Address(1)].Firmware, QStringLiteral("1-4-5.00"));
    EXPECT_EQ(byAddress[Address(2)].MACAddress, QStringLiteral("N/A"));
    EXPECT_EQ(byAddress[Address(3)], (TRelynPar{Address(3), Mac(3), QStringLiteral("N/A"),
                                                QString(), QStringLiteral("N/A")}));
    EXPECT_EQ(byAddress[Address(4)], (TRelynPar{Address(4), Mac(4), QStringLiteral("N/A"),
                                                QString(), QStringLiteral("N/A")}));
    for (int n = 1; n <= 4; ++n) {
        EXPECT_EQ(Queries(n, "info"), 1u) << n;
        EXPECT_EQ(Queries(n, "legacy"), 0u) << n;
    }
    // One quiet collection wait and one unanswered info query.
    EXPECT_GE(Elapsed.count(), 400);
    EXPECT_LT(Elapsed.count(), 600);
}

TEST_F(RelynSearchLab, FirmwareDecidesBetweenInfoAndLegacyDescription) {
    struct Case {
        const char *Family;
        const char *Firmware;
        const char *Model;
        const char *Text;
        const char *Type;
        bool Legacy;
    };
    const Case rounds[2][5] = {
        {{"1", "4.5.0", "1", "1-4-5.00", "K6609", false},
         {"1", "4.4.255", "0", "1-4-4.255", "Kx3xx", true},
         {"2", "5.2.0", "0", "2-5-2.00", "LAN Adapter", false},
         {"2", "5.1.9", "0", "2-5-1.09", "LAN Adapter", true},
         {"4", "4.2.0", "7", "4-4-2.00", "D4207", false}},
        {{"4", "4.1.99", "5", "4-4-1.99", "D4208", true},
         {"3", "9.9.9", "0", "3-9-9.09", "QV+", true},
         {"5", "9.9.9", "0", "5-9-9.09", "QV5", true},
         {"6", "9.9.9", "0", "6-9-9.09", "QV6", true},
         {"0", "9.9.9", "0", "0-9-9.09", "N/A", true}},
    };
    for (const auto &round : rounds) {
        std::map<int, Options> devices;
        for (int n = 1; n <= 5; ++n) {
            const Case &c = round[n - 1];
            devices[n] = {"--family",      c.Family,    "--firmware",
                          c.Firmware,      "--model",   c.Model,
                          "--description", "from info", "--legacy-description",
                          "from legacy"};
        }
        Devices(devices);
        const QList<TRelynPar> found = Search();
        ASSERT_EQ(found.size(), 5);
        std::map<QString, TRelynPar> byAddress;
        for (const TRelynPar &record : found)
            byAddress[record.IPAddress] = record;
        for (int n = 1; n <= 5; ++n) {
            const Case &c = round[n - 1];
            const TRelynPar &record = byAddress[Address(n)];
            EXPECT_EQ(record.Firmware, QString::fromLatin1(c.Text));
            EXPECT_EQ(record.DeviceType, QString::fromLatin1(c.Type)) << c.Text;
            EXPECT_EQ(record.Description,
                      c.Legacy ? QStringLiteral("from legacy") : QStringLiteral("from info"))
                << c.Text;
            EXPECT_EQ(Queries(n, "legacy"), c.Legacy ? 1u : 0u) << c.Text;
        }
    }
}

TEST_F(RelynSearchLab, DescriptionsAndDuplicateReplies) {
    const std::string seventy(70, 'd');
    Devices(
        {{1, {"--description", seventy}},
         {2, {"--description", "", "--discovery-delay-ms", "50"}},
         {3, {"--duplicate-discovery", "--description", "twice", "--discovery-delay-ms", "100"}}});
    const QList<TRelynPar> found = Search();
    ASSERT_EQ(found.size(), 4);
    EXPECT_EQ(found[0].Description, QString(65, u'd'));
    EXPECT_EQ(found[1].Description, QString());
    EXPECT_EQ(found[2], found[3]);
    EXPECT_EQ(found[2].Description, QStringLiteral("twice"));
    EXPECT_EQ(Queries(3, "info"), 2u);
}

// A broken or hostile device ends nobody's search: the devices that answer properly are listed,
// each with its own info even when another sends its info reply twice.
TEST_F(RelynSearchLab, MalformedAndRepeatedRepliesAreSkipped) {
    Devices({{1, {"--description", "one"}},
             {2, {"--zero-length-reply", "--discovery-delay-ms", "20"}},
             {3, {"--oversized-reply", "--discovery-delay-ms", "40"}},
             {4, {"--info-copies", "2", "--description", "four"}},
             {5, {"--description", "five", "--discovery-delay-ms", "60"}}});
    const QList<TRelynPar> found = Search();
    std::map<QString, QString> descriptions;
    for (const TRelynPar &record : found)
        descriptions[record.IPAddress] = record.Description;
    EXPECT_EQ(descriptions, (std::map<QString, QString>{{Address(1), QStringLiteral("one")},
                                                        {Address(4), QStringLiteral("four")},
                                                        {Address(5), QStringLiteral("five")}}));
}
