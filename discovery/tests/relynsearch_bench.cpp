// Search time with many simulated devices against its floor: the one quiet wait that ends the
// collection plus the network round trips that the search cannot avoid, measured in the same run
// with a bare endpoint.
#include "discovery/relyndevicelist.h"
#include "discovery/relynsearch.h"
#include "tools/testsupport/lab.h"
#include "tools/testsupport/timing.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <gtest/gtest.h>

namespace {

using Clock = std::chrono::steady_clock;

using testsupport::Median;
using testsupport::Milliseconds;

// Broadcast until every device has answered, then one info round trip per device.
double Floor(int devices) {
    TRelyn relyn;
    const auto start = Clock::now();
    relyn.Broadcast(RelynReply::DiscoveryQuery(), RelynDevicePort);
    QStringList addresses;
    while (addresses.size() < devices) {
        const TRelynDatagram reply = relyn.Receive(2000);
        if (!reply.Arrived)
            break;
        addresses << reply.SenderAddress;
    }
    EXPECT_EQ(addresses.size(), devices);
    const Clock::duration collection = Clock::now() - start;
    Clock::duration trips = collection;
    for (const QString &address : addresses) {
        relyn.SetRemoteHost(address);
        const auto sent = Clock::now();
        relyn.Send(RelynReply::InfoQuery());
        EXPECT_EQ(relyn.Receive(2000).Data.size(), RelynReply::InfoLength);
        trips += Clock::now() - sent;
    }
    std::printf("floor: collection %.1f ms, info round trips %.1f ms\n", Milliseconds(collection),
                Milliseconds(trips - collection));
    return Milliseconds(trips) + TRelynSearch::WaitMs;
}

} // namespace

TEST(RelynSearchBench, SearchAgainstItsFloor) {
    if (!labtest::inLab())
        GTEST_SKIP() << labtest::notInLab;
    const int devices = labtest::deviceCount();
    // Each search is paired with a floor measured just before it, so that both see the same
    // load of the machine.
    std::vector<double> searches, floors, ratios;
    for (int run = 0; run < 7; ++run) {
        floors.push_back(Floor(devices));
        const auto start = Clock::now();
        const QList<TRelynPar> found = RunRelynSearch(QString());
        searches.push_back(Milliseconds(Clock::now() - start));
        ASSERT_EQ(found.size(), devices);
        ratios.push_back(searches.back() / floors.back());
    }
    const double ratio = Median(ratios);
    std::printf("devices %d: search %.1f ms, floor %.1f ms, ratio %.3f (medians of 7 runs)\n",
                devices, Median(searches), Median(floors), ratio);
    RecordProperty("ratio", std::to_string(ratio));
    EXPECT_LE(ratio, 1.2);
}
