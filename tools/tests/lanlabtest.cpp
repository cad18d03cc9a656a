// The test LAN itself, seen from the computer's namespace: broadcasts reach every simulated
// device, replies carry what each device was given, uploads restart the right device and
// IP-SETUP moves only the device it names.
#include "tools/testsupport/lab.h"

#include <arpa/inet.h>
#include <fstream>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <set>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Datagram {
    Bytes data;
    std::string from;
};

// A plain UDP socket on an ephemeral port, as Quillet's own endpoint uses one.
class Udp {
public:
    Udp() {
        fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        const int on = 1;
        ::setsockopt(fd_, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    }
    ~Udp() { ::close(fd_); }
    Udp(const Udp &) = delete;
    Udp &operator=(const Udp &) = delete;

    bool send(const std::string &address, const Bytes &data) {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(30718);
        ::inet_pton(AF_INET, address.c_str(), &to.sin_addr);
        return ::sendto(fd_, data.data(), data.size(), 0, reinterpret_cast<sockaddr *>(&to),
                        sizeof to) == static_cast<ssize_t>(data.size());
    }

    // Every datagram until none arrives for quietMs.
    std::vector<Datagram> collect(int quietMs = 300) {
        std::vector<Datagram> all;
        for (;;) {
            pollfd fd{fd_, POLLIN, 0};
            if (::poll(&fd, 1, quietMs) <= 0) {
                return all;
            }
            Bytes buffer(70000);
            sockaddr_in from{};
            socklen_t length = sizeof from;
            const ssize_t n = ::recvfrom(fd_, buffer.data(), buffer.size(), 0,
                                         reinterpret_cast<sockaddr *>(&from), &length);
            if (n < 0) {
                return all;
            }
            buffer.resize(static_cast<std::size_t>(n));
            char text[INET_ADDRSTRLEN] = {};
            ::inet_ntop(AF_INET, &from.sin_addr, text, sizeof text);
            all.push_back({buffer, text});
        }
    }

private:
    int fd_ = -1;
};

const Bytes discoveryQuery{0, 0, 0, 0xF6};
const Bytes infoQuery{0, 0, 0, 0xE4};
const Bytes legacyQuery{0, 0, 0, 0xE6};

using labtest::ipSetup;

std::string textAt(const Bytes &block, std::size_t offset) {
    std::string text;
    for (std::size_t i = offset; i < block.size() && i < offset + 65 && block[i] != 0; ++i) {
        text += static_cast<char>(block[i]);
    }
    return text;
}

std::multiset<std::string> senders(const std::vector<Datagram> &replies) {
    std::multiset<std::string> from;
    for (const auto &reply : replies) {
        from.insert(reply.from);
    }
    return from;
}

std::multiset<std::string> allDevices() {
    std::multiset<std::string> addresses;
    for (int n = 1; n <= labtest::deviceCount(); ++n) {
        addresses.insert(labtest::deviceAddress(n));
    }
    return addresses;
}

class Lan : public ::testing::Test {
protected:
    void SetUp() override {
        if (!labtest::inLab()) {
            GTEST_SKIP() << labtest::notInLab;
        }
        ASSERT_GE(labtest::deviceCount(), 3);
    }
    // Every test leaves the devices as the lab made them.
    void TearDown() override {
        for (int n : touched_) {
            EXPECT_TRUE(labtest::restartDevice(n)) << "dev" << n;
        }
    }
    void shape(int n, const std::vector<std::string> &options) {
        touched_.push_back(n);
        ASSERT_TRUE(labtest::restartDevice(n, options)) << "dev" << n;
    }

    std::vector<int> touched_;
};

TEST_F(Lan, DiscoveryBroadcastReachesEveryDeviceAndEachAnswersWithItsMac) {
    Udp udp;
    ASSERT_TRUE(udp.send("255.255.255.255", discoveryQuery));
    const auto replies = udp.collect();
    EXPECT_EQ(senders(replies), allDevices());
    for (const auto &reply : replies) {
        ASSERT_EQ(reply.data.size(), 30u);
        const int n = std::stoi(reply.from.substr(reply.from.rfind('.') + 1)) - 10;
        const Bytes mac(reply.data.begin() + 24, reply.data.end());
        EXPECT_EQ(mac, (Bytes{0x02, 0, 0, 0, 0, static_cast<std::uint8_t>(n)})) << reply.from;
    }
    for (int n = 1; n <= labtest::deviceCount(); ++n) {
        EXPECT_EQ(labtest::logLines(n, "recv discovery from=192.0.2.1:").size(), 1u);
    }
}

TEST_F(Lan, InfoAndLegacyBlocksCarryTheConfiguredIdentity) {
    shape(2, {"--family", "4", "--firmware", "2.7.9", "--model", "12", "--description",
              "Logger in hall B", "--legacy-description", "old text"});
    Udp udp;
    ASSERT_TRUE(udp.send(labtest::deviceAddress(2), infoQuery));
    auto replies = udp.collect();
    ASSERT_EQ(replies.size(), 1u);
    const Bytes &info = replies[0].data;
    ASSERT_EQ(info.size(), 130u);
    EXPECT_EQ(replies[0].from, labtest::deviceAddress(2));
    EXPECT_EQ(textAt(info, 4), "Logger in hall B");
    EXPECT_EQ((Bytes{info[82], info[83], info[84], info[85], info[86]}), (Bytes{4, 2, 7, 9, 12}));

    ASSERT_TRUE(udp.send(labtest::deviceAddress(2), legacyQuery));
    replies = udp.collect();
    ASSERT_EQ(replies.size(), 1u);
    ASSERT_EQ(replies[0].data.size(), 130u);
    EXPECT_EQ(textAt(replies[0].data, 36), "old text");
}

TEST_F(Lan, FaultsChangeOnlyTheDeviceTheyAreGivenTo) {
    shape(1, {"--duplicate-discovery", "--no-info"});
    shape(2, {"--discovery-length", "31", "--info-length", "9000"});
    shape(3, {"--discovery-delay-ms", "250"});
    Udp udp;
    ASSERT_TRUE(udp.send("255.255.255.255", discoveryQuery));
    const auto replies = udp.collect(400);
    std::multiset<std::string> expected = allDevices();
    expected.insert(labtest::deviceAddress(1));
    EXPECT_EQ(senders(replies), expected);
    ASSERT_FALSE(replies.empty());
    // The delayed device answers last, after a pause a 200 ms collection would not outlast.
    EXPECT_EQ(replies.back().from, labtest::deviceAddress(3));
    for (const auto &reply : replies) {
        EXPECT_EQ(reply.data.size(), reply.from == labtest::deviceAddress(2) ? 31u : 30u);
    }

    ASSERT_TRUE(udp.send(labtest::deviceAddress(1), infoQuery));
    EXPECT_TRUE(udp.collect().empty());
    EXPECT_EQ(labtest::logLines(1, "silent info").size(), 1u);
    ASSERT_TRUE(udp.send(labtest::deviceAddress(2), infoQuery));
    const auto oversized = udp.collect();
    ASSERT_EQ(oversized.size(), 1u);
    EXPECT_EQ(oversized[0].data.size(), 9000u);
}

TEST_F(Lan, ZeroLengthReplyArrivesAsAnEmptyDatagram) {
    shape(1, {"--zero-length-reply"});
    Udp udp;
    ASSERT_TRUE(udp.send(labtest::deviceAddress(1), discoveryQuery));
    const auto replies = udp.collect();
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_TRUE(replies[0].data.empty());
}

TEST_F(Lan, UploadLandsInTheDevicesFolderAndRestartsOnlyThatDevice) {
    shape(2, {"--restart-ms", "2000"});
    const std::string file = std::string(::testing::TempDir()) + "/lanlabtest-web.pmf";
    {
        std::ofstream out(file, std::ios::binary);
        for (int i = 0; i < 3000; ++i) {
            out.put(static_cast<char>(i * 7));
        }
    }
    const int curl = labtest::run({"curl", "-sS", "--tftp-no-options", "--connect-timeout", "10",
                                   "-T", file, "tftp://" + labtest::deviceAddress(2) + "/WEB1"},
                                  false);
    ASSERT_EQ(curl, 0);
    EXPECT_EQ(labtest::readFile(labtest::tftpDir(2) + "/WEB1"), labtest::readFile(file));
    EXPECT_TRUE(labtest::readFile(labtest::tftpDir(1) + "/WEB1").empty());

    ASSERT_TRUE(labtest::waitForLog(2, "link down", std::chrono::seconds(3)));
    EXPECT_FALSE(labtest::ping(labtest::deviceAddress(2)));
    EXPECT_TRUE(labtest::ping(labtest::deviceAddress(1)));
    ASSERT_TRUE(labtest::waitForLog(2, "link up", std::chrono::seconds(4)));
    bool answered = false;
    for (int i = 0; i < 5 && !answered; ++i) {
        answered = labtest::ping(labtest::deviceAddress(2));
    }
    EXPECT_TRUE(answered);
    EXPECT_EQ(labtest::logLines(2, "upload name=WEB1 size=3000").size(), 1u);
    EXPECT_TRUE(labtest::logLines(1, "upload").empty());
    std::remove(file.c_str());
}

TEST_F(Lan, FirmwareRestartsTooButOtherNamesDoNot) {
    shape(3, {"--restart-ms", "1000"});
    const std::string file = std::string(::testing::TempDir()) + "/lanlabtest-firmware.bin";
    std::ofstream(file, std::ios::binary) << std::string(1024, 'F');
    const std::string device = "tftp://" + labtest::deviceAddress(3) + "/";
    ASSERT_EQ(
        labtest::run({"curl", "-sS", "--tftp-no-options", "-T", file, device + "NOTES"}, false), 0);
    ASSERT_EQ(labtest::run({"curl", "-sS", "--tftp-no-options", "-T", file, device + "X5"}, false),
              0);
    ASSERT_TRUE(labtest::waitForLog(3, "link up", std::chrono::seconds(5)));
    EXPECT_EQ(labtest::logLines(3, "upload name=").size(), 1u);
    EXPECT_EQ(labtest::logLines(3, "upload name=X5 size=1024").size(), 1u);
    std::remove(file.c_str());
}

TEST_F(Lan, TftpServerCanBeGoneOrRefusing) {
    const std::string file = std::string(::testing::TempDir()) + "/lanlabtest-refused.pmf";
    std::ofstream(file, std::ios::binary) << "page";
    const std::vector<std::string> upload{"curl",
                                          "-sS",
                                          "--tftp-no-options",
                                          "--connect-timeout",
                                          "3",
                                          "-T",
                                          file,
                                          "tftp://" + labtest::deviceAddress(1) + "/WEB1"};
    touched_ = {1};
    ASSERT_TRUE(labtest::setTftp(1, labtest::Tftp::ReadOnly));
    EXPECT_NE(labtest::run(upload), 0);
    ASSERT_TRUE(labtest::setTftp(1, labtest::Tftp::Off));
    EXPECT_NE(labtest::run(upload), 0);
    EXPECT_TRUE(labtest::ping(labtest::deviceAddress(1)));
    ASSERT_TRUE(labtest::setTftp(1, labtest::Tftp::On));
    EXPECT_EQ(labtest::run(upload), 0);
    EXPECT_EQ(labtest::readFile(labtest::tftpDir(1) + "/WEB1"), "page");
    std::remove(file.c_str());
}

TEST_F(Lan, IpSetupMovesExactlyTheDeviceWhoseMacItNames) {
    touched_ = {1, 2, 3};
    Udp udp;
    ASSERT_TRUE(udp.send("255.255.255.255", ipSetup(0x00, 0x02, {192, 0, 2, 99})));
    ASSERT_TRUE(labtest::waitForLog(2, "address 192.0.2.99", std::chrono::seconds(3)));
    EXPECT_EQ(labtest::logLines(1, "ipsetup ignored reason=other-device").size(), 1u);
    EXPECT_EQ(labtest::logLines(3, "ipsetup ignored reason=other-device").size(), 1u);

    ASSERT_TRUE(udp.send("255.255.255.255", discoveryQuery));
    auto expected = allDevices();
    expected.erase(labtest::deviceAddress(2));
    expected.insert("192.0.2.99");
    EXPECT_EQ(senders(udp.collect()), expected);
    EXPECT_TRUE(labtest::ping("192.0.2.99"));
    EXPECT_FALSE(labtest::ping(labtest::deviceAddress(2)));

    // An address outside the lab's subnet still answers: the device keeps a route out of its
    // link, as the computer does.
    ASSERT_TRUE(udp.send("255.255.255.255", ipSetup(0x00, 0x03, {10, 1, 2, 3})));
    ASSERT_TRUE(labtest::waitForLog(3, "address 10.1.2.3", std::chrono::seconds(3)));
    EXPECT_TRUE(labtest::ping("10.1.2.3"));
}

TEST_F(Lan, IpSetupOfAnotherLengthOrAnUnusableAddressMovesNothing) {
    touched_ = {1};
    Udp udp;
    Bytes longer = ipSetup(0x00, 0x01, {192, 0, 2, 98});
    longer.push_back(0);
    ASSERT_TRUE(udp.send(labtest::deviceAddress(1), longer));
    ASSERT_TRUE(labtest::waitForLog(1, "ipsetup ignored reason=length", std::chrono::seconds(3)));
    ASSERT_TRUE(udp.send(labtest::deviceAddress(1), ipSetup(0x00, 0x01, {0, 0, 0, 0})));
    ASSERT_TRUE(labtest::waitForLog(1, "ipsetup ignored reason=address addr=0.0.0.0",
                                    std::chrono::seconds(3)));
    EXPECT_TRUE(labtest::ping(labtest::deviceAddress(1)));
}

TEST_F(Lan, SwitchedOffDeviceIsSilentUntilSwitchedOn) {
    touched_ = {3};
    ASSERT_TRUE(labtest::setLink(3, false));
    Udp udp;
    ASSERT_TRUE(udp.send("255.255.255.255", discoveryQuery));
    auto expected = allDevices();
    expected.erase(labtest::deviceAddress(3));
    EXPECT_EQ(senders(udp.collect()), expected);
    EXPECT_FALSE(labtest::ping(labtest::deviceAddress(3)));

    ASSERT_TRUE(labtest::setLink(3, true));
    EXPECT_TRUE(labtest::ping(labtest::deviceAddress(3)));
    ASSERT_TRUE(udp.send("255.255.255.255", discoveryQuery));
    EXPECT_EQ(senders(udp.collect()), allDevices());
}

} // namespace
