// The simulator's loop over loopback, with a recording link instead of the namespace's own:
// timing of replies, IP-SETUP reaching the link, uploads restarting it, the web server. Runs
// without a lab; everything stays on 127.0.0.1.
#include "tools/devsim/simulator.h"
#include "tools/testsupport/lab.h"

#include <QDir>
#include <QTemporaryDir>
#include <algorithm>
#include <arpa/inet.h>
#include <fstream>
#include <functional>
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
        config.web.port = 0;
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
    std::uint16_t httpPort() const { return simulator_->httpPort(); }
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
    // Datagrams until none arrives for quietMs.
    std::vector<Bytes> datagrams(int quietMs) {
        std::vector<Bytes> all;
        pollfd fd{fd_, POLLIN, 0};
        while (::poll(&fd, 1, quietMs) > 0) {
            Bytes buffer(70000);
            const ssize_t n = ::recv(fd_, buffer.data(), buffer.size(), 0);
            if (n < 0) {
                break;
            }
            buffer.resize(static_cast<std::size_t>(n));
            all.push_back(std::move(buffer));
        }
        return all;
    }
    // Their sizes.
    std::vector<std::size_t> collect(int quietMs) {
        std::vector<std::size_t> sizes;
        for (const Bytes &datagram : datagrams(quietMs)) {
            sizes.push_back(datagram.size());
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

// A TCP connection to the simulator's web server; -1 when refused.
int connectHttp(std::uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&to), sizeof to) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Sends one request on fd and gives the reply as it came, up to the server's close, `limit`
// bytes or `timeout` without a byte; closes fd.
std::string exchange(int fd, const std::string &target, std::size_t limit = 1 << 20,
                     std::chrono::milliseconds timeout = 3s) {
    const std::string request = "GET " + target + " HTTP/1.1\r\nHost: device\r\n\r\n";
    [[maybe_unused]] auto n = ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    std::string reply;
    pollfd in{fd, POLLIN, 0};
    char buffer[65536];
    while (reply.size() < limit && ::poll(&in, 1, static_cast<int>(timeout.count())) > 0) {
        const ssize_t got = ::recv(fd, buffer, std::min(sizeof buffer, limit - reply.size()), 0);
        if (got <= 0) {
            break;
        }
        reply.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fd);
    return reply;
}

std::string httpGet(std::uint16_t port, const std::string &target) {
    const int fd = connectHttp(port);
    return fd < 0 ? "refused" : exchange(fd, target);
}

std::string stored(const char *mime, const std::string &body) {
    return webfile::replyHead(mime) + body;
}

// A web file of the given entries, written to path.
void writeWebFile(const std::string &path, const std::vector<webfile::Entry> &entries) {
    std::ofstream(path, std::ios::binary) << webfile::build(entries).value();
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

// A flood repeats the answers for its time and then ends; the loop keeps serving meanwhile. Fake
// MACs answer discovery but no info query.
TEST(Simulator, FloodsAndFakeMacs) {
    QTemporaryDir dir;
    Config config;
    config.floodMs = 50;
    config.floodForMs = 500;
    config.fakeMacs = 3;
    Device device(config, dir);
    ASSERT_EQ(device.error(), "");
    LoopbackClient client(device.port());

    const auto sent = Clock::now();
    client.send({0, 0, 0, 0xF6});
    const std::vector<Bytes> first = client.datagrams(30);
    ASSERT_EQ(first.size(), 4u);
    std::vector<Bytes> macs;
    for (const Bytes &reply : first) {
        ASSERT_EQ(reply.size(), 30u);
        macs.emplace_back(reply.begin() + 24, reply.end());
    }
    EXPECT_EQ(macs[0], (Bytes{0x02, 0x00, 0x00, 0x00, 0x00, 0x01}));
    EXPECT_EQ(macs[3], (Bytes{0x02, 0xFA, 0x00, 0x00, 0xF0, 0x03}));
    std::sort(macs.begin(), macs.end());
    EXPECT_EQ(std::unique(macs.begin(), macs.end()), macs.end());

    for (int i = 0; i < 4; ++i) {
        client.send({0, 0, 0, 0xE4});
    }
    const std::vector<std::size_t> flood = client.collect(300);
    const auto quiet = Clock::now();
    EXPECT_EQ(std::count(flood.begin(), flood.end(), 130u), 1);
    // About nine rounds of four in the 500 ms.
    EXPECT_GE(std::count(flood.begin(), flood.end(), 30u), 20);
    EXPECT_LE(flood.size(), 50u);
    EXPECT_GE(quiet - sent, 500ms);
    EXPECT_LT(quiet - sent, 1500ms);
    EXPECT_TRUE(device.waitForLog("silent info reason=fake-macs"));
    EXPECT_TRUE(device.waitForLog("flood end to=127.0.0.1:"));
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

// A transfer cut off by a cancel: the server closes the file about a second after the client
// went, well within the idle limit. Whole 512-byte blocks closed late are a cut transfer; a
// short last block, or whole blocks closed at once (after the empty last block), a finished one.
TEST(Simulator, CutTransferIsToldFromAFinishedOne) {
    QTemporaryDir dir;
    const std::string tftp = dir.filePath(QStringLiteral("tftp")).toStdString();
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(tftp)));
    Config config;
    config.tftpDir = tftp;
    config.restartAfterMs = 60000; // the link stays as it is during the test
    config.uploadIdleMs = 2000;
    Device device(config, dir);
    ASSERT_EQ(device.error(), "");
    const auto upload = [&](const char *name, std::size_t size, std::chrono::milliseconds gap) {
        std::ofstream file(tftp + "/" + name, std::ios::binary);
        file << std::string(size, 'p') << std::flush;
        std::this_thread::sleep_for(gap);
    };
    upload("WEB1", 4096, 900ms);
    ASSERT_TRUE(device.waitForLog("upload incomplete name=WEB1 size=4096"));
    upload("X5", 4000, 900ms);
    ASSERT_TRUE(device.waitForLog("upload name=X5 size=4000"));
    upload("WEB1", 1024, 0ms);
    ASSERT_TRUE(device.waitForLog("upload name=WEB1 size=1024"));
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

TEST(Simulator, WebServerServesTheWebFileTakenAtTheLastRestart) {
    QTemporaryDir dir;
    const std::string tftp = dir.filePath(QStringLiteral("tftp")).toStdString();
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(tftp)));
    const std::string old = stored("text/html", "<p>old</p>");
    const std::vector<webfile::Entry> site = {{"index.htm", stored("text/html", "<p>new</p>")},
                                              {"my page.htm", stored("text/html", "")},
                                              {"notes.zzz", "bare bytes, no reply head"}};
    Config config;
    config.tftpDir = tftp;
    config.restartAfterMs = 0;
    config.restartMs = 100;
    config.web.webFile = dir.filePath(QStringLiteral("old.pmf")).toStdString();
    writeWebFile(config.web.webFile, {{"index.htm", old}});
    for (bool previous : {false, true}) {
        SCOPED_TRACE(previous ? "serving the previous web file" : "serving the held web file");
        config.web.previous = previous;
        ::unlink((tftp + "/WEB1").c_str());
        std::ofstream(dir.filePath(QStringLiteral("devsim.log")).toStdString(), std::ios::trunc);
        Device device(config, dir);
        ASSERT_EQ(device.error(), "");
        const auto get = [&](const std::string &target) {
            return httpGet(device.httpPort(), target);
        };
        const std::string notFound = get("/gone.htm");
        EXPECT_EQ(notFound.substr(0, 13), "HTTP/1.0 404\r");
        EXPECT_EQ(get("/index.htm"), previous ? notFound : old);

        writeWebFile(tftp + "/WEB1", site);
        ASSERT_TRUE(device.waitForLog("link up"));
        if (previous) {
            EXPECT_EQ(get("/index.htm"), old);
            EXPECT_EQ(get("/my%20page.htm"), notFound);
            continue;
        }
        EXPECT_EQ(get("/index.htm"), site[0].stored);
        EXPECT_EQ(get("/"), site[0].stored);
        EXPECT_EQ(get("/my%20page.htm"), site[1].stored);
        EXPECT_EQ(get("/notes.zzz?x=1"), site[2].stored);
        EXPECT_EQ(get("/gone.htm"), notFound);
        EXPECT_TRUE(device.waitForLog("http request=\"GET /my%20page.htm HTTP/1.1\" reply="));
    }
}

TEST(Simulator, WebServerFaultsGiveTheirReplies) {
    QTemporaryDir dir;
    const std::string index = stored("text/html", "<html>station 7</html>");
    Config config;
    config.web.webFile = dir.filePath(QStringLiteral("site.pmf")).toStdString();
    writeWebFile(config.web.webFile,
                 {{"index.htm", index}, {"logo.gif", stored("image/gif", "GIF")}});
    std::string corrupt = index;
    corrupt[corrupt.size() - 11] ^= 0x01;
    struct Case {
        const char *name;
        std::function<void(WebSettings &)> fault;
        std::string reply; // of /index.htm
    };
    const Case cases[] = {
        {"drop", [](WebSettings &w) { w.drop = "index.htm"; }, ""},
        {"corrupt", [](WebSettings &w) { w.corrupt = "index.htm"; }, corrupt},
        {"close early", [](WebSettings &w) { w.closeEarly = true; },
         index.substr(0, index.size() / 2)},
        {"redirect", [](WebSettings &w) { w.redirect = true; },
         "HTTP/1.0 302 Found\r\nLocation: /moved/index.htm\r\n\r\n"},
        {"slow", [](WebSettings &w) { w.slowMs = 5; }, index},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Config faulty = config;
        c.fault(faulty.web);
        Device device(faulty, dir);
        ASSERT_EQ(device.error(), "");
        const auto start = Clock::now();
        const std::string reply = httpGet(device.httpPort(), "/index.htm");
        if (c.reply.empty()) {
            EXPECT_EQ(reply.substr(0, 12), "HTTP/1.0 404");
        } else {
            EXPECT_EQ(reply, c.reply);
        }
        if (faulty.web.slowMs > 0) {
            EXPECT_GE(Clock::now() - start, index.size() * 5ms);
        }
        // Only the named entry is touched.
        if (!faulty.web.drop.empty() || !faulty.web.corrupt.empty()) {
            EXPECT_EQ(httpGet(device.httpPort(), "/logo.gif"), stored("image/gif", "GIF"));
        }
    }

    config.web.enabled = false;
    Device off(config, dir);
    EXPECT_EQ(off.httpPort(), 0);
}

// A client that takes a huge reply and leaves, and clients that hold connections without
// asking: the server stays within its limit and the device still answers its UDP queries.
TEST(Simulator, WebServerKeepsItsLimitsWithoutStoppingTheDevice) {
    QTemporaryDir dir;
    Config config;
    config.web.webFile = dir.filePath(QStringLiteral("site.pmf")).toStdString();
    const std::string index = stored("text/html", "<p>hi</p>");
    writeWebFile(config.web.webFile, {{"index.htm", index}});
    config.web.huge = true;
    Device device(config, dir);
    ASSERT_EQ(device.error(), "");
    const std::string huge = exchange(connectHttp(device.httpPort()), "/index.htm", 4 << 20);
    EXPECT_EQ(huge.size(), 4u << 20);
    EXPECT_EQ(huge.substr(0, index.size()), index);

    std::vector<int> idle;
    for (int i = 0; i < 8; ++i) {
        idle.push_back(connectHttp(device.httpPort()));
    }
    LoopbackClient client(device.port());
    client.send({0, 0, 0, 0xF6});
    EXPECT_EQ(client.collect(300), (std::vector<std::size_t>{30}));
    // The ninth waits in the backlog until one of the eight goes away.
    const int ninth = connectHttp(device.httpPort());
    std::thread leave([&] {
        std::this_thread::sleep_for(300ms);
        ::close(idle.back());
    });
    const auto start = Clock::now();
    const std::string reply = exchange(ninth, "/index.htm", 128);
    EXPECT_GE(Clock::now() - start, 250ms);
    EXPECT_EQ(reply.size(), 128u);
    EXPECT_EQ(reply.substr(0, index.size()), index);
    leave.join();
    for (std::size_t i = 0; i + 1 < idle.size(); ++i) {
        ::close(idle[i]);
    }
}
