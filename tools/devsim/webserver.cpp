#include "tools/devsim/webserver.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <netinet/in.h>
#include <sstream>
#include <sys/socket.h>
#include <unistd.h>

namespace devsim {
namespace {

constexpr std::size_t kMaxConnections = 8;
constexpr std::size_t kMaxRequest = 16 * 1024;
// A client that sends or takes nothing for this long is dropped.
constexpr auto kIdle = std::chrono::seconds(10);
// After the reply, how long the client may take to close its side.
constexpr auto kLinger = std::chrono::seconds(2);
constexpr std::uint64_t kHugeFiller = 64ull * 1024 * 1024;

const std::string kNotFound =
    "HTTP/1.0 404\r\n Content-type: text/html\r\n\r\n<html><body>Not found</body></html>\r\n";
const std::string kBadRequest = "HTTP/1.0 400\r\n\r\n";

int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// Undoes %XX escapes; a broken escape stays as it stands.
std::string percentDecode(std::string_view text) {
    std::string decoded;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool escape = text[i] == '%' && i + 2 < text.size();
        const int high = escape ? hexValue(text[i + 1]) : -1;
        const int low = escape ? hexValue(text[i + 2]) : -1;
        if (high < 0 || low < 0) {
            decoded += text[i];
            continue;
        }
        decoded += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return decoded;
}

const webfile::ParsedEntry *findEntry(const webfile::ParseResult &site, std::string_view name) {
    for (const webfile::ParsedEntry &e : site.entries) {
        if (e.name == name) {
            return &e;
        }
    }
    return nullptr;
}

std::string readWhole(const std::string &path, bool &ok) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    ok = static_cast<bool>(in);
    return bytes.str();
}

} // namespace

WebServer::WebServer(WebSettings settings, DevsimLog &log)
    : settings_(std::move(settings))
    , log_(log) {
}

WebServer::~WebServer() {
    dropConnections();
    if (listen_ >= 0) {
        ::close(listen_);
    }
}

std::unique_ptr<WebServer::Image> WebServer::makeImage(std::string bytes) {
    auto image = std::make_unique<Image>();
    image->bytes = std::move(bytes);
    image->parsed = webfile::parse(image->bytes);
    return image;
}

std::string WebServer::open(const std::string &bindAddress) {
    if (!settings_.webFile.empty()) {
        bool ok = false;
        std::string bytes = readWhole(settings_.webFile, ok);
        if (!ok) {
            return "cannot read web file " + settings_.webFile;
        }
        held_ = makeImage(std::move(bytes));
        if (!held_->parsed.ok()) {
            return settings_.webFile + ": " + held_->parsed.error;
        }
    }
    if (!settings_.enabled) {
        log_.line("http off");
        return {};
    }
    listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (listen_ < 0) {
        return std::string("socket: ") + std::strerror(errno);
    }
    const int on = 1;
    ::setsockopt(listen_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(settings_.port);
    ::inet_pton(AF_INET, bindAddress.c_str(), &address.sin_addr);
    if (::bind(listen_, reinterpret_cast<sockaddr *>(&address), sizeof address) < 0 ||
        ::listen(listen_, 16) < 0) {
        return "listen on TCP port " + std::to_string(settings_.port) + ": " + std::strerror(errno);
    }
    log_.line("http listen port=" + std::to_string(localPort()) +
              " entries=" + std::to_string(held_ ? held_->parsed.entries.size() : 0));
    return {};
}

std::uint16_t WebServer::localPort() const {
    sockaddr_in bound{};
    socklen_t length = sizeof bound;
    if (listen_ < 0 || ::getsockname(listen_, reinterpret_cast<sockaddr *>(&bound), &length) != 0) {
        return 0;
    }
    return ntohs(bound.sin_port);
}

void WebServer::hold(std::string bytes) {
    previous_ = std::move(held_);
    held_ = makeImage(std::move(bytes));
    // A device takes whatever it was sent; a broken web file serves nothing.
    log_.line("web file held size=" + std::to_string(held_->bytes.size()) +
              (held_->parsed.ok() ? " entries=" + std::to_string(held_->parsed.entries.size())
                                  : " error=\"" + held_->parsed.error + "\""));
}

void WebServer::dropConnections() {
    for (Connection &c : connections_) {
        ::close(c.fd);
    }
    connections_.clear();
}

void WebServer::addPollFds(std::vector<pollfd> &fds) const {
    if (listen_ >= 0 && connections_.size() < kMaxConnections) {
        fds.push_back({listen_, POLLIN, 0});
    }
    const auto now = Clock::now();
    for (const Connection &c : connections_) {
        short events = 0;
        if (c.phase == Phase::Writing) {
            // A slow reply waits for its next byte's time, not for the socket.
            events = settings_.slowMs > 0 && c.nextByte > now ? 0 : POLLOUT;
        } else {
            events = POLLIN;
        }
        fds.push_back({c.fd, events, 0});
    }
}

std::optional<WebServer::Clock::time_point> WebServer::nextDue() const {
    std::optional<Clock::time_point> due;
    for (const Connection &c : connections_) {
        Clock::time_point next = c.deadline;
        if (c.phase == Phase::Writing && settings_.slowMs > 0) {
            next = std::min(next, c.nextByte);
        }
        due = due ? std::min(*due, next) : next;
    }
    return due;
}

void WebServer::serve(const pollfd *fds, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        if (fds[i].revents == 0) {
            continue;
        }
        if (fds[i].fd == listen_) {
            accept();
            continue;
        }
        auto c = std::find_if(connections_.begin(), connections_.end(),
                              [&](const Connection &k) { return k.fd == fds[i].fd; });
        if (c == connections_.end()) {
            continue;
        }
        switch (c->phase) {
        case Phase::Reading:
            read(*c);
            break;
        case Phase::Writing:
            // A reset while a slow reply waits for its next byte's time would wake poll again
            // and again.
            if (fds[i].revents & (POLLERR | POLLHUP)) {
                close(*c);
            } else {
                write(*c);
            }
            break;
        case Phase::Draining:
            drain(*c);
            break;
        }
    }
    const auto now = Clock::now();
    for (Connection &c : connections_) {
        if (c.fd >= 0 && c.phase == Phase::Writing && settings_.slowMs > 0 && c.nextByte <= now) {
            write(c);
        }
        if (c.fd >= 0 && c.deadline <= now) {
            close(c);
        }
    }
    std::erase_if(connections_, [](const Connection &c) { return c.fd < 0; });
}

void WebServer::accept() {
    while (connections_.size() < kMaxConnections) {
        const int fd = ::accept4(listen_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            return;
        }
        Connection c;
        c.fd = fd;
        c.deadline = Clock::now() + kIdle;
        connections_.push_back(std::move(c));
    }
}

void WebServer::read(Connection &c) {
    char buffer[4096];
    const ssize_t n = ::recv(c.fd, buffer, sizeof buffer, 0);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
        return;
    }
    if (n <= 0) {
        close(c);
        return;
    }
    c.request.append(buffer, static_cast<std::size_t>(n));
    c.deadline = Clock::now() + kIdle;
    if (c.request.find("\r\n\r\n") != std::string::npos ||
        c.request.find("\n\n") != std::string::npos || c.request.size() > kMaxRequest) {
        answer(c);
    }
}

void WebServer::answer(Connection &c) {
    std::string_view line(c.request);
    line = line.substr(0, std::min(line.find('\r'), line.find('\n')));
    const std::size_t first = line.find(' ');
    const std::size_t second = first == std::string_view::npos ? first : line.find(' ', first + 1);
    std::string outcome;
    if (!line.starts_with("GET ") || second == std::string_view::npos) {
        c.reply = kBadRequest;
        outcome = "400";
    } else if (settings_.redirect) {
        const std::string target(line.substr(first + 1, second - first - 1));
        c.reply = "HTTP/1.0 302 Found\r\nLocation: /moved" + target + "\r\n\r\n";
        outcome = "302";
    } else {
        std::string_view target = line.substr(first + 1, second - first - 1);
        target = target.substr(0, target.find('?'));
        std::string name = percentDecode(target.starts_with('/') ? target.substr(1) : target);
        c.reply = storedReply(name, outcome);
    }
    std::string faults;
    if (settings_.closeEarly) {
        c.reply.resize(c.reply.size() / 2);
        faults += " fault=close-early";
    }
    if (settings_.huge) {
        c.filler = kHugeFiller;
        faults += " fault=huge";
    }
    if (settings_.slowMs > 0) {
        faults += " fault=slow";
    }
    log_.line("http request=\"" + std::string(line) + "\" reply=" + outcome +
              " len=" + std::to_string(c.reply.size()) + faults);
    c.phase = Phase::Writing;
    c.nextByte = Clock::now();
    write(c);
}

std::string WebServer::storedReply(std::string_view name, std::string &outcome) const {
    const Image *image = settings_.previous ? previous_.get() : held_.get();
    if (name.empty() && image) {
        name = findEntry(image->parsed, "index.htm") ? "index.htm" : "index.html";
    }
    const webfile::ParsedEntry *entry =
        image && image->parsed.ok() ? findEntry(image->parsed, name) : nullptr;
    if (!entry || name == settings_.drop) {
        outcome = "404";
        return kNotFound;
    }
    std::string reply(entry->stored);
    outcome = "stored";
    if (name == settings_.corrupt) {
        const auto mime = webfile::headMimeType(reply);
        const std::size_t body = mime ? webfile::kHeadFixedLength + mime->size() : 0;
        if (body < reply.size()) {
            reply[body + (reply.size() - body) / 2] ^= 0x01;
        } else {
            reply += '!';
        }
        outcome = "corrupt";
    }
    return reply;
}

void WebServer::write(Connection &c) {
    for (;;) {
        if (c.sent == c.reply.size() && c.filler > 0) {
            const std::size_t chunk = static_cast<std::size_t>(
                std::min<std::uint64_t>(c.filler, settings_.slowMs > 0 ? 1 : 64 * 1024));
            c.reply.assign(chunk, 'x');
            c.sent = 0;
            c.filler -= chunk;
        }
        if (c.sent == c.reply.size()) {
            // The end of the reply is the end of the connection, as the stored head promises.
            ::shutdown(c.fd, SHUT_WR);
            c.phase = Phase::Draining;
            c.deadline = Clock::now() + kLinger;
            return;
        }
        std::size_t length = c.reply.size() - c.sent;
        if (settings_.slowMs > 0) {
            if (c.nextByte > Clock::now()) {
                return;
            }
            length = 1;
        }
        const ssize_t n = ::send(c.fd, c.reply.data() + c.sent, length, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno != EAGAIN && errno != EINTR) {
                close(c); // the client went away
            }
            return;
        }
        c.sent += static_cast<std::size_t>(n);
        c.deadline = Clock::now() + kIdle;
        if (settings_.slowMs > 0) {
            c.nextByte = Clock::now() + std::chrono::milliseconds(settings_.slowMs);
        }
    }
}

void WebServer::drain(Connection &c) {
    char buffer[4096];
    const ssize_t n = ::recv(c.fd, buffer, sizeof buffer, 0);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
        return;
    }
    if (n <= 0) {
        close(c);
    }
}

void WebServer::close(Connection &c) {
    if (c.fd >= 0) {
        ::close(c.fd);
        c.fd = -1;
    }
}

} // namespace devsim
