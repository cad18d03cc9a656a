// The simulator's loop over loopback, with a recording link instead of the namespace's own:
// timing of replies, IP-SETUP reaching the link, uploads restarting it. Runs without a lab;
// everything stays on 127.0.0.1.
#include "tools/devsim/simulator.h"
#include "tools/testsupport/lab.h"

#include <QDir>
#include <QTemporaryDir>
#include <arpa/inet.h>
#include <fstream>
#include <gtest/gtest.h>
#include <mutex>
#include <poll.h>
#include <thread>
#include <unistd.h>

using namespace devsim;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

class RecordingLink : public LinkControl {
public:
    std::string setUp(bool up) override {
        std::lock_guard lock(mutex_);
        changes_.push_back({up, Clock::now()});
        return {};
    }
    std::string moveAddress(const std::string &address) override {
        std::lock_guard lock(mutex_);
        moves_.push_back(address);
        return {};
    }
    std::vector<std::pair<bool, Clock::time_point>> changes() {
        std::lock_guard lock(mutex_);
        return changes_;
    }
    std::vector<std::string> moves() {
        std::lock_guard lock(mutex_);
        return moves_;
    }

private:
    std::mutex mutex_;
    std::vector<std::pair<bool, Clock::time_point>> changes_;
    std::vector<std::string> moves_;
};

// A simulator on 127.0.0.1 and a free port, running in a thread of its own.
class Device {
public:
    explicit Device(Config config, const QTemporaryDir &dir)
        : logPath_(dir.filePath(QStringLiteral("devsim.log")).toStdString())
        , log_(logPath_) {
        config.bindAddress = "127.0.0.1";
        config.port = 0;
        simulator_ = std::make_unique<Simulator>(config, log_, link);
        error_ = simulator_->open();
        if (error_.empty() && ::pipe(stop_) == 0) {
            thread_ = std::thread([this] { simulator_->run(stop_[0]); });
        }
    }
    ~Device() {
        if (thread_.joinable()) {
            [[maybe_unused]] auto n = ::write(stop_[1], "stop", 4);
            thread_.join();
            ::close(stop_[0]);
            ::close(stop_[1]);
        }
    }
    const std::string &error() const { return error_; }
    std::uint16_t port() const { return simulator_->localPort(); }
    std::string log() const {
        std::ifstream in(logPath_);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    bool waitForLog(const std::string &text, std::chrono::milliseconds timeout = 3s) const {
        const auto end = Clock::now() + timeout;
        while (log().find(text) == std::string::npos) {
            if (Clock::now() > end) {
                return false;
            }
            std::this_thread::sleep_for(5ms);
        }
        return true;
    }

    RecordingLink link;

private:
    std::string logPath_;
    DevsimLog log_;
    std::unique_ptr<Simulator> simulator_;
    std::string error_;
    int stop_[2] = {-1, -1};
    std::thread thread_;
};

class LoopbackClient {
public:
    explicit LoopbackClient(std::uint16_t port) {
        fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        to_.sin_family = AF_INET;
        to_.sin_port = htons(port);
        to_.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    }
    ~LoopbackClient() { ::close(fd_); }
    void send(const Bytes &data) {
        ::sendto(fd_, data.data(), data.size(), 0, reinterpret_cast<sockaddr *>(&to_), sizeof to_);
    }
    // Datagram sizes until none arrives for quietMs.
    std::vector<std::size_t> collect(int quietMs) {
        std::vector<std::size_t> sizes;
        pollfd fd{fd_, POLLIN, 0};
        while (::poll(&fd, 1, quietMs) > 0) {
            Bytes buffer(70000);
            const ssize_t n = ::recv(fd_, buffer.data(), buffer.size(), 0);
            if (n < 0) {
                break;
            }
            sizes.push_back(static_cast<std::size_t>(n));
        }
        return sizes;
    }

private:
    int fd_ = -1;
    sockaddr_in to_{};
};

using labtest::ipSetup;

void writeFile(const std::string &path, std::size_t size) {
    std::ofstream(path, std::ios::binary) << std::string(size, 'w');
}

} // namespace

TEST(Simulator, CopiesAndDelaysShapeTheAnswers) {
    QTemporaryDir dir;
    Config config;
    config.discovery.copies = 2;
    config.info.delayMs = 300;
    config.legacy.copies = 0;
    Device device(config, dir);
    ASSERT_EQ(device.error(), "");
    LoopbackClient client(device.port());

    client.send({0, 0, 0, 0xF6});
    EXPECT_EQ(client.collect(150), (std::vector<std::size_t>{30, 30}));

    const auto sent = Clock::now();
    client.send({0, 0, 0, 0xE4});
    EXPECT_TRUE(client.collect(100).empty());
    EXPECT_EQ(client.collect(1000), (std::vector<std::size_t>{130}));
    EXPECT_GE(Clock::now() - sent, 300ms);

    client.send({0, 0, 0, 0xE6});
    client.send({1, 2, 3});
    EXPECT_TRUE(client.collect(150).empty());
    EXPECT_TRUE(device.waitForLog("silent legacy"));
    EXPECT_TRUE(device.waitForLog("recv unknown from=127.0.0.1:"));
}

TEST(Simulator, IpSetupReachesTheLinkOnlyWhenAddressedAndUsable) {
    QTemporaryDir dir;
    Config config;
    config.mac = {0x02, 0x00, 0x00, 0x12, 0x34, 0x5F};
    Device device(config, dir);
    ASSERT_EQ(device.error(), "");
    LoopbackClient client(device.port());

    client.send(ipSetup(0x34, 0x60, {192, 168, 1, 51}));
    client.send(ipSetup(0x34, 0x5F, {0, 0, 0, 0}));
    client.send(ipSetup(0x34, 0x5F, {192, 168, 1, 50}));
    ASSERT_TRUE(device.waitForLog("address 192.168.1.50"));
    EXPECT_EQ(device.link.moves(), (std::vector<std::string>{"192.168.1.50"}));
    EXPECT_NE(device.log().find("ipsetup ignored reason=other-device addr=192.168.1.51"),
              std::string::npos);
    EXPECT_NE(device.log().find("ipsetup ignored reason=address addr=0.0.0.0"), std::string::npos);
    // The datagram is logged whole, so a test can compare its bytes.
    EXPECT_NE(device.log().find("data=000000FC49502D53455455500000345FC0A80132"),
              std::string::npos);
}

TEST(Simulator, DeviceThatIgnoresIpSetupKeepsItsLink) {
    QTemporaryDir dir;
    Config config;
    config.acceptIpSetup = false;
    Device device(config, dir);
    ASSERT_EQ(device.error(), "");
    LoopbackClient(device.port()).send(ipSetup(0x00, 0x01, {10, 0, 0, 5}));
    ASSERT_TRUE(device.waitForLog("ipsetup ignored reason=configured"));
    EXPECT_TRUE(device.link.moves().empty());
}

TEST(Simulator, UploadClosedLongAfterItsLastWriteRestartsNothing) {
    QTemporaryDir dir;
    const std::string tftp = dir.filePath(QStringLiteral("tftp")).toStdString();
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(tftp)));
    Config config;
    config.tftpDir = tftp;
    config.restartAfterMs = 0;
    config.uploadIdleMs = 300;
    Device device(config, dir);
    ASSERT_EQ(device.error(), "");
    {
        // As a TFTP server that waited in vain for the next block before it gave up.
        std::ofstream upload(tftp + "/WEB1", std::ios::binary);
        upload << std::string(1024, 'p') << std::flush;
        std::this_thread::sleep_for(600ms);
    }
    ASSERT_TRUE(device.waitForLog("upload incomplete name=WEB1 size=1024"));
    std::this_thread::sleep_for(100ms);
    EXPECT_TRUE(device.link.changes().empty());
}

TEST(Simulator, CompleteUploadRestartsTheLinkOnceForItsTime) {
    QTemporaryDir dir;
    const std::string tftp = dir.filePath(QStringLiteral("tftp")).toStdString();
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(tftp)));
    Config config;
    config.tftpDir = tftp;
    config.restartAfterMs = 0;
    config.restartMs = 1500;
    Device device(config, dir);
    ASSERT_EQ(device.error(), "");

    writeFile(tftp + "/NOTES", 10);
    writeFile(tftp + "/WEB1", 700);
    ASSERT_TRUE(device.waitForLog("link down"));
    // A second upload while the device restarts does not start another restart.
    writeFile(tftp + "/X5", 20);
    ASSERT_TRUE(device.waitForLog("link up", 5s));
    ASSERT_TRUE(device.waitForLog("upload name=X5 size=20"));
    std::this_thread::sleep_for(100ms);
    auto changes = device.link.changes();
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_FALSE(changes[0].first);
    EXPECT_TRUE(changes[1].first);
    EXPECT_GE(changes[1].second - changes[0].second, 1500ms);
    EXPECT_NE(device.log().find("upload name=WEB1 size=700"), std::string::npos);
    EXPECT_EQ(device.log().find("NOTES"), std::string::npos);

    // Once back, the next upload restarts it again.
    writeFile(tftp + "/WEB1", 5);
    ASSERT_TRUE(device.waitForLog("upload name=WEB1 size=5"));
    const auto end = Clock::now() + 5s;
    while (device.link.changes().size() < 4 && Clock::now() < end) {
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_EQ(device.link.changes().size(), 4u);
}
