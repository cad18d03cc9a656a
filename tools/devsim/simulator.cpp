#include "tools/devsim/simulator.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fstream>
#include <iterator>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace devsim {

namespace {
// Transfers without options, as Quillet sends them, use 512-byte blocks.
constexpr long long TftpBlockSize = 512;
// How soon a server closes the file after the last block of a finished transfer.
constexpr long long PromptCloseMs = 250;
} // namespace

std::string endpointText(const sockaddr_in &address) {
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
    return std::string(text) + ":" + std::to_string(ntohs(address.sin_port));
}

Simulator::Simulator(Config config, DevsimLog &log, LinkControl &link)
    : config_(std::move(config))
    , log_(log)
    , link_(link)
    , web_(config_.web, log_)
    , discoveryReplies_(discoveryReplies()) {
}

Simulator::~Simulator() {
    if (socket_ >= 0) {
        ::close(socket_);
    }
    if (inotify_ >= 0) {
        ::close(inotify_);
    }
}

std::string Simulator::open() {
    socket_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (socket_ < 0) {
        return std::string("socket: ") + std::strerror(errno);
    }
    const int on = 1;
    ::setsockopt(socket_, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_port = htons(config_.port);
    ::inet_pton(AF_INET, config_.bindAddress.c_str(), &any.sin_addr);
    if (::bind(socket_, reinterpret_cast<sockaddr *>(&any), sizeof any) < 0) {
        return "bind to port " + std::to_string(config_.port) + ": " + std::strerror(errno);
    }
    if (!config_.tftpDir.empty()) {
        inotify_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        // tftpd writes the file in place and closes it right after the last block; a file
        // renamed into the folder counts as complete as well. Opens and writes are watched to
        // tell a finished transfer from one the server gave up on.
        if (inotify_ < 0 ||
            ::inotify_add_watch(inotify_, config_.tftpDir.c_str(),
                                IN_OPEN | IN_MODIFY | IN_CLOSE_WRITE | IN_MOVED_TO) < 0) {
            return "watch " + config_.tftpDir + ": " + std::strerror(errno);
        }
    }
    if (auto error = web_.open(config_.bindAddress); !error.empty()) {
        return error;
    }
    log_.line("start mac=" + macText(config_.mac) + " port=" + std::to_string(localPort()) +
              " family=" + std::to_string(config_.family) +
              " firmware=" + std::to_string(config_.firmware[0]) + "." +
              std::to_string(config_.firmware[1]) + "." + std::to_string(config_.firmware[2]) +
              " model=" + std::to_string(config_.model) + " description=\"" + config_.description +
              "\"");
    return {};
}

std::uint16_t Simulator::localPort() const {
    sockaddr_in bound{};
    socklen_t length = sizeof bound;
    if (socket_ < 0 || ::getsockname(socket_, reinterpret_cast<sockaddr *>(&bound), &length) != 0) {
        return 0;
    }
    return ntohs(bound.sin_port);
}

int Simulator::pollTimeoutMs() const {
    std::optional<Clock::time_point> due = web_.nextDue();
    for (const Timer &timer : timers_) {
        due = due ? std::min(*due, timer.due) : timer.due;
    }
    if (!due) {
        return -1;
    }
    auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(*due - Clock::now()).count();
    // Round up so the loop does not spin on a timer that is due within the millisecond.
    return static_cast<int>(std::clamp<long long>(wait + 1, 0, INT_MAX));
}

int Simulator::run(int stopFd) {
    std::vector<pollfd> fds;
    for (;;) {
        // poll skips a negative descriptor: the upload watch may be absent.
        fds = {{socket_, POLLIN, 0}, {stopFd, POLLIN, 0}, {inotify_, POLLIN, 0}};
        web_.addPollFds(fds);
        const int rc = ::poll(fds.data(), fds.size(), pollTimeoutMs());
        if (rc < 0 && errno != EINTR) {
            log_.line(std::string("error poll: ") + std::strerror(errno));
            return 1;
        }
        if (fds[1].revents & POLLIN) {
            signalfd_siginfo info{};
            [[maybe_unused]] auto n = ::read(stopFd, &info, sizeof info);
            log_.line("stop signal=" + std::to_string(info.ssi_signo));
            return 0;
        }
        if (fds[0].revents & POLLIN) {
            readDatagram();
        }
        if (inotify_ >= 0 && (fds[2].revents & POLLIN)) {
            readUploads();
        }
        web_.serve(fds.data() + 3, fds.size() - 3);
        const auto now = Clock::now();
        // Fire in due order; a fired timer may add new ones, so take them out first.
        std::vector<Timer> due;
        auto split = std::stable_partition(timers_.begin(), timers_.end(),
                                           [&](const Timer &t) { return t.due > now; });
        std::move(split, timers_.end(), std::back_inserter(due));
        timers_.erase(split, timers_.end());
        std::stable_sort(due.begin(), due.end(),
                         [](const Timer &a, const Timer &b) { return a.due < b.due; });
        for (auto &timer : due) {
            fire(std::move(timer));
        }
    }
}

void Simulator::readDatagram() {
    for (;;) {
        Bytes buffer(maxDatagram + 1);
        sockaddr_in from{};
        socklen_t fromLength = sizeof from;
        const ssize_t n = ::recvfrom(socket_, buffer.data(), buffer.size(), 0,
                                     reinterpret_cast<sockaddr *>(&from), &fromLength);
        if (n < 0) {
            if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
                log_.line(std::string("error receive: ") + std::strerror(errno));
            }
            return;
        }
        buffer.resize(static_cast<std::size_t>(n));
        handle(buffer, from);
    }
}

void Simulator::handle(const Bytes &datagram, const sockaddr_in &from) {
    const Query query = classify(datagram);
    log_.line(std::string("recv ") + queryName(query) + " from=" + endpointText(from) +
              " len=" + std::to_string(datagram.size()) + " data=" + hexText(datagram));
    if (query == Query::IpSetup) {
        const auto setup = parseIpSetup(datagram);
        if (!setup) {
            log_.line("ipsetup ignored reason=length");
            return;
        }
        const std::string address = addressText(setup->address);
        if (!addressedTo(*setup, config_)) {
            log_.line("ipsetup ignored reason=other-device addr=" + address);
            return;
        }
        if (!usableAddress(setup->address)) {
            log_.line("ipsetup ignored reason=address addr=" + address);
            return;
        }
        if (!config_.acceptIpSetup) {
            log_.line("ipsetup ignored reason=configured addr=" + address);
            return;
        }
        if (auto error = link_.moveAddress(address); !error.empty()) {
            log_.line("error ipsetup " + error);
            return;
        }
        log_.line("address " + address);
        return;
    }
    const ReplyShape *shape = nullptr;
    switch (query) {
    case Query::Discovery:
        shape = &config_.discovery;
        break;
    case Query::Info:
        shape = &config_.info;
        break;
    case Query::Legacy:
        shape = &config_.legacy;
        break;
    default:
        return;
    }
    if (shape->copies == 0) {
        log_.line(std::string("silent ") + queryName(query));
        return;
    }
    if (config_.fakeMacs > 0 && query == Query::Info) {
        // The other info queries of a search were meant for the fake MACs.
        if (infoCredit_ <= 0) {
            log_.line("silent info reason=fake-macs");
            return;
        }
        --infoCredit_;
    }
    const std::vector<Bytes> replies = query == Query::Discovery
                                           ? discoveryReplies_
                                           : std::vector<Bytes>{replyFor(query, config_)};
    if (query == Query::Discovery) {
        infoCredit_ = 1;
        startFlood(from);
    }
    for (int i = 0; i < shape->copies; ++i) {
        for (const Bytes &reply : replies) {
            if (shape->delayMs > 0) {
                timers_.push_back({Clock::now() + std::chrono::milliseconds(shape->delayMs),
                                   TimerKind::Reply, reply, from, queryName(query)});
            } else {
                sendReply(reply, from, queryName(query));
            }
        }
    }
}

std::vector<Bytes> Simulator::discoveryReplies() const {
    std::vector<Bytes> replies{replyFor(Query::Discovery, config_)};
    Config fake = config_;
    for (int i = 1; i <= config_.fakeMacs; ++i) {
        // Their last two bytes, all an IP-SETUP names a device by, are no lab device's.
        fake.mac = {0x02,
                    0xFA,
                    0x00,
                    0x00,
                    static_cast<std::uint8_t>(0xF0 | i >> 8),
                    static_cast<std::uint8_t>(i)};
        replies.push_back(replyFor(Query::Discovery, fake));
    }
    return replies;
}

void Simulator::startFlood(const sockaddr_in &to) {
    if (config_.floodMs <= 0) {
        return;
    }
    // A searcher already flooded only has its flood made longer.
    const auto [entry, added] = floodUntil_.insert_or_assign(
        endpointText(to), Clock::now() + std::chrono::milliseconds(config_.floodForMs));
    (void)entry;
    if (added) {
        timers_.push_back(
            {Clock::now() + std::chrono::milliseconds(config_.floodMs), TimerKind::Flood, {}, to});
    }
}

void Simulator::flood(const sockaddr_in &to) {
    const auto entry = floodUntil_.find(endpointText(to));
    if (entry == floodUntil_.end()) {
        return;
    }
    if (Clock::now() >= entry->second) {
        floodUntil_.erase(entry);
        log_.line("flood end to=" + endpointText(to));
        return;
    }
    for (const Bytes &reply : discoveryReplies_) {
        sendReply(reply, to, "discovery");
    }
    timers_.push_back(
        {Clock::now() + std::chrono::milliseconds(config_.floodMs), TimerKind::Flood, {}, to});
}

void Simulator::sendReply(const Bytes &data, const sockaddr_in &to, const char *kind) {
    const ssize_t n = ::sendto(socket_, data.data(), data.size(), 0,
                               reinterpret_cast<const sockaddr *>(&to), sizeof to);
    if (n < 0) {
        log_.line(std::string("error send ") + kind + " to=" + endpointText(to) + ": " +
                  std::strerror(errno));
        return;
    }
    log_.line(std::string("reply ") + kind + " to=" + endpointText(to) +
              " len=" + std::to_string(data.size()));
}

void Simulator::readUploads() {
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(inotify_, buffer, sizeof buffer);
        if (n <= 0) {
            return;
        }
        for (ssize_t offset = 0; offset < n;) {
            const auto *event = reinterpret_cast<const inotify_event *>(buffer + offset);
            offset += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            const std::string name = event->len ? event->name : "";
            if (name != "WEB1" && name != "X5") {
                continue;
            }
            if (event->mask & (IN_OPEN | IN_MODIFY)) {
                lastActivity_[name] = Clock::now();
                continue;
            }
            struct stat info {};
            const std::string path = config_.tftpDir + "/" + name;
            const long long size =
                ::stat(path.c_str(), &info) == 0 ? static_cast<long long>(info.st_size) : -1;
            // The server closes a transfer it gave up on only after its own time-out, long after
            // the last block; a finished one it closes at once.
            const auto last = lastActivity_.find(name);
            if ((event->mask & IN_CLOSE_WRITE) && last != lastActivity_.end()) {
                const auto idle = std::chrono::duration_cast<std::chrono::milliseconds>(
                                      Clock::now() - last->second)
                                      .count();
                lastActivity_.erase(last);
                // A transfer ends with a block shorter than 512 bytes (an empty one after a
                // file of whole blocks, which the server closes on at once). Whole blocks only,
                // closed a while after the last one, is a transfer cut off: by a cancel, or a
                // computer switched off, that the server gave up on after its own time-out.
                const bool wholeBlocks = size >= 0 && size % TftpBlockSize == 0;
                if (idle > config_.uploadIdleMs || (wholeBlocks && idle > PromptCloseMs)) {
                    log_.line("upload incomplete name=" + name + " size=" + std::to_string(size) +
                              " idle-ms=" + std::to_string(idle));
                    continue;
                }
            }
            log_.line("upload name=" + name + " size=" + std::to_string(size));
            if (name == "WEB1") {
                std::ifstream in(path, std::ios::binary);
                uploadedWeb_ = std::string(std::istreambuf_iterator<char>(in), {});
            }
            if (restarting_) {
                continue;
            }
            restarting_ = true;
            timers_.push_back({Clock::now() + std::chrono::milliseconds(config_.restartAfterMs),
                               TimerKind::LinkDown,
                               {},
                               {}});
        }
    }
}

void Simulator::fire(Timer timer) {
    switch (timer.kind) {
    case TimerKind::Reply:
        sendReply(timer.data, timer.to, timer.replyKind);
        break;
    case TimerKind::LinkDown:
        web_.dropConnections();
        if (auto error = link_.setUp(false); !error.empty()) {
            log_.line("error link down " + error);
        }
        log_.line("link down restart-ms=" + std::to_string(config_.restartMs));
        timers_.push_back({Clock::now() + std::chrono::milliseconds(config_.restartMs),
                           TimerKind::LinkUp,
                           {},
                           {}});
        break;
    case TimerKind::LinkUp:
        if (auto error = link_.setUp(true); !error.empty()) {
            log_.line("error link up " + error);
        }
        // The device boots from the web file it was sent.
        if (uploadedWeb_) {
            web_.hold(std::move(*uploadedWeb_));
            uploadedWeb_.reset();
        }
        log_.line("link up");
        restarting_ = false;
        break;
    case TimerKind::Flood:
        flood(timer.to);
        break;
    }
}

} // namespace devsim
