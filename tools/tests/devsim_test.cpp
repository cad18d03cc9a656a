// The simulator's settings and the bytes it puts on the wire, without any socket.
#include "tools/devsim/devsimconfig.h"
#include "tools/devsim/devsimprotocol.h"
#include "tools/devsim/linkcontrol.h"

#include <QTemporaryDir>
#include <fstream>
#include <gtest/gtest.h>

using namespace devsim;

namespace {

Config parsed(std::vector<std::string> args) {
    auto result = parseCommandLine(args);
    EXPECT_EQ(result.error, "");
    return result.config;
}

std::string parseError(std::vector<std::string> args) {
    return parseCommandLine(args).error;
}

} // namespace

TEST(DevsimConfig, CommandLineSetsIdentityInBothOptionForms) {
    const Config c = parsed({"--mac", "02-00-00-12-34-5f", "--family=4", "--firmware", "5.2.17",
                             "--model", "255", "--description", "Hall B"});
    EXPECT_EQ(macText(c.mac), "02-00-00-12-34-5F");
    EXPECT_EQ(c.family, 4);
    EXPECT_EQ(c.firmware, (std::array<std::uint8_t, 3>{5, 2, 17}));
    EXPECT_EQ(c.model, 255);
    EXPECT_EQ(c.description, "Hall B");
}

TEST(DevsimConfig, FaultFlagsShapeTheReplies) {
    const Config c = parsed(
        {"--no-info", "--duplicate-discovery", "--delay-ms", "250", "--legacy-length", "129"});
    EXPECT_EQ(c.info.copies, 0);
    EXPECT_EQ(c.discovery.copies, 2);
    EXPECT_EQ(c.discovery.delayMs, 250);
    EXPECT_EQ(c.info.delayMs, 250);
    EXPECT_EQ(c.legacy.length, 129);
    EXPECT_EQ(c.discovery.length, -1);

    EXPECT_EQ(parsed({"--zero-length-reply"}).discovery.length, 0);
    EXPECT_GT(parsed({"--oversized-reply"}).discovery.length, 8192);
    EXPECT_EQ(parsed({"--no-info=false"}).info.copies, 1);
    EXPECT_FALSE(parsed({"--ignore-ipsetup"}).acceptIpSetup);

    // The web server's faults, as netlab devsim passes them on.
    const WebSettings web = parsed({"--no-http", "--http-previous", "--http-drop", "logo.gif",
                                    "--http-corrupt=index.htm", "--http-slow-ms", "20"})
                                .web;
    EXPECT_FALSE(web.enabled);
    EXPECT_TRUE(web.previous);
    EXPECT_EQ(web.drop, "logo.gif");
    EXPECT_EQ(web.corrupt, "index.htm");
    EXPECT_EQ(web.slowMs, 20);
    EXPECT_NE(parseError({"--http-drop="}).find("http-drop"), std::string::npos);
}

TEST(DevsimConfig, UnusableValuesAreRefusedWithTheirName) {
    EXPECT_NE(parseError({"--family", "256"}).find("family"), std::string::npos);
    EXPECT_NE(parseError({"--mac", "02:00:00:00:00"}).find("mac"), std::string::npos);
    EXPECT_NE(parseError({"--mac", "02:00:00:00:00:1"}).find("mac"), std::string::npos);
    EXPECT_NE(parseError({"--firmware", "4.5"}).find("firmware"), std::string::npos);
    EXPECT_NE(parseError({"--firmware", "4.5.x"}).find("firmware"), std::string::npos);
    EXPECT_NE(parseError({"--info-length", "65508"}).find("info-length"), std::string::npos);
    EXPECT_NE(parseError({"--port", "0"}).find("port"), std::string::npos);
    EXPECT_NE(parseError({"--address", "192.0.2.300"}).find("address"), std::string::npos);
    EXPECT_NE(parseError({"--netns", "../x"}).find("netns"), std::string::npos);
    EXPECT_NE(parseError({"--colour", "red"}).find("unknown option --colour"), std::string::npos);
    EXPECT_NE(parseError({"--colour=red"}).find("unknown setting colour"), std::string::npos);
    EXPECT_NE(parseError({"--info-size", "3"}).find("unknown option"), std::string::npos);
    EXPECT_NE(parseError({"--model"}).find("needs a value"), std::string::npos);
    EXPECT_NE(parseError({"family", "1"}).find("unexpected argument"), std::string::npos);
    EXPECT_TRUE(parseCommandLine({"--help"}).help);
}

TEST(DevsimConfig, ConfigFileAppliesWhereItStandsOnTheCommandLine) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string path = dir.filePath(QStringLiteral("dev.conf")).toStdString();
    std::ofstream(path) << "# base settings\n"
                           "mac = 02:00:00:00:00:07\n"
                           "  family=2  \n"
                           "description = Tank sensor  with  blanks\n"
                           "no-info\n"
                           "\n";
    // Before the file: the file wins; after it: the command line wins.
    const Config c = parsed({"--family", "9", "--config", path, "--no-info=0"});
    EXPECT_EQ(c.mac[5], 7);
    EXPECT_EQ(c.family, 2);
    EXPECT_EQ(c.description, "Tank sensor  with  blanks");
    EXPECT_EQ(c.info.copies, 1);

    std::ofstream(path) << "family = 1\nmodel = x\n";
    const std::string error = parseError({"--config", path});
    EXPECT_NE(error.find(path + ":2:"), std::string::npos) << error;
    EXPECT_NE(parseError({"--config", path + ".missing"}).find("cannot read"), std::string::npos);
}

TEST(DevsimProtocol, QueriesAreExactlyFourBytes) {
    EXPECT_EQ(classify({0, 0, 0, 0xF6}), Query::Discovery);
    EXPECT_EQ(classify({0, 0, 0, 0xE4}), Query::Info);
    EXPECT_EQ(classify({0, 0, 0, 0xE6}), Query::Legacy);
    EXPECT_EQ(classify({0, 0, 0, 0xF6, 0}), Query::Unknown);
    EXPECT_EQ(classify({0, 0, 0xF6}), Query::Unknown);
    EXPECT_EQ(classify({1, 0, 0, 0xF6}), Query::Unknown);
    EXPECT_EQ(classify({}), Query::Unknown);
}

TEST(DevsimProtocol, DiscoveryReplyCarriesTheMacInItsLastSixBytes) {
    Config c;
    c.mac = {0x02, 0x00, 0x00, 0x12, 0x34, 0x5F};
    const Bytes reply = replyFor(Query::Discovery, c);
    ASSERT_EQ(reply.size(), 30u);
    EXPECT_EQ(Bytes(reply.begin() + 24, reply.end()), (Bytes{0x02, 0, 0, 0x12, 0x34, 0x5F}));
}

TEST(DevsimProtocol, InfoBlockPlacesEveryValue) {
    Config c;
    c.family = 2;
    c.firmware = {5, 12, 17};
    c.model = 3;
    c.description = "Logger";
    const Bytes block = replyFor(Query::Info, c);
    ASSERT_EQ(block.size(), 130u);
    EXPECT_EQ(std::string(block.begin() + 4, block.begin() + 10), "Logger");
    EXPECT_EQ(block[10], 0);
    EXPECT_EQ((Bytes{block[82], block[83], block[84], block[85], block[86]}),
              (Bytes{2, 5, 12, 17, 3}));
    // The legacy block keeps its description elsewhere and nothing at the info offsets.
    const Bytes legacy = replyFor(Query::Legacy, c);
    ASSERT_EQ(legacy.size(), 130u);
    EXPECT_EQ(std::string(legacy.begin() + 36, legacy.begin() + 42), "Logger");
    EXPECT_EQ(legacy[4], 0);
    EXPECT_EQ(legacy[82], 0);
}

TEST(DevsimProtocol, LongDescriptionFillsItsFieldWithoutSpilling) {
    Config c;
    c.description = std::string(70, 'D');
    c.legacyDescription = std::string(70, 'L');
    const Bytes info = replyFor(Query::Info, c);
    EXPECT_EQ(std::string(info.begin() + 4, info.begin() + 69), std::string(65, 'D'));
    EXPECT_EQ(info[69], 0);
    const Bytes legacy = replyFor(Query::Legacy, c);
    EXPECT_EQ(std::string(legacy.begin() + 36, legacy.begin() + 101), std::string(65, 'L'));
    EXPECT_EQ(legacy[101], 0);
}

TEST(DevsimProtocol, ConfiguredLengthCutsOrPadsTheReply) {
    Config c;
    c.info.length = 129;
    c.discovery.length = 9000;
    c.legacy.length = 0;
    const Bytes full = infoReply(c);
    const Bytes cut = replyFor(Query::Info, c);
    EXPECT_EQ(cut, Bytes(full.begin(), full.begin() + 129));
    const Bytes padded = replyFor(Query::Discovery, c);
    ASSERT_EQ(padded.size(), 9000u);
    EXPECT_EQ(Bytes(padded.begin(), padded.begin() + 30), discoveryReply(c));
    EXPECT_TRUE(replyFor(Query::Legacy, c).empty());
}

TEST(DevsimProtocol, IpSetupIsTakenOnlyWhenWholeAndAddressedToThisMac) {
    Config c;
    c.mac = {0x02, 0x00, 0x00, 0x12, 0x34, 0x5F};
    const Bytes datagram{0x00, 0x00, 0x00, 0xFC, 0x49, 0x50, 0x2D, 0x53, 0x45, 0x54,
                         0x55, 0x50, 0x00, 0x00, 0x34, 0x5F, 0xC0, 0xA8, 0x01, 0x32};
    EXPECT_EQ(classify(datagram), Query::IpSetup);
    const auto setup = parseIpSetup(datagram);
    ASSERT_TRUE(setup);
    EXPECT_EQ(addressText(setup->address), "192.168.1.50");
    EXPECT_TRUE(addressedTo(*setup, c));

    c.mac[4] = 0x35;
    EXPECT_FALSE(addressedTo(*setup, c));

    // A tail of odd length gives 19 or 21 bytes: still recognised, never applied.
    for (std::size_t size : {19u, 21u}) {
        Bytes other(datagram.begin(), datagram.begin() + std::min<std::size_t>(size, 20));
        other.resize(size, 0);
        EXPECT_EQ(classify(other), Query::IpSetup);
        EXPECT_FALSE(parseIpSetup(other));
    }
    Bytes wrongHeader = datagram;
    wrongHeader[12] = 1;
    EXPECT_EQ(classify(wrongHeader), Query::Unknown);
}

TEST(DevsimProtocol, OnlyUnicastAddressesAreTaken) {
    EXPECT_TRUE(usableAddress({192, 168, 1, 50}));
    EXPECT_TRUE(usableAddress({10, 0, 0, 255}));
    EXPECT_TRUE(usableAddress({223, 255, 255, 254}));
    EXPECT_FALSE(usableAddress({0, 0, 0, 0}));
    EXPECT_FALSE(usableAddress({127, 0, 0, 1}));
    EXPECT_FALSE(usableAddress({224, 0, 0, 1}));
    EXPECT_FALSE(usableAddress({255, 255, 255, 255}));
}

TEST(DevsimProtocol, HexTextOfLongDatagramsIsCut) {
    EXPECT_EQ(hexText({0x00, 0xAB, 0x0F}), "00AB0F");
    EXPECT_EQ(hexText(Bytes(40, 0x11), 2), "1111...");
}

TEST(DevsimGuard, MachineNamespaceIsRecognised) {
    // The unit tests run in the machine's own namespace, where no device may ever run.
    EXPECT_TRUE(inMachineNamespace());
}
