#include "app/cli/previewserver.h"

#include <QSocketNotifier>
#include <QTcpSocket>
#include <QTimer>
#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace cli {

namespace {

// A request head longer than this is refused rather than buffered without end.
constexpr qsizetype kMaxRequestHead = 16 * 1024;
// A connection that sends no complete request head within this time is closed.
constexpr int kIdleTimeoutMs = 15000;
constexpr int kSweepMs = 1000;
constexpr int kRetryAcceptMs = 500;
// Descriptors kept free for everything else the process opens.
constexpr long kSpareDescriptors = 32;

long ConnectionBudget() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return 4096;
    return std::max<long>(1, static_cast<long>(limit.rlim_cur) - kSpareDescriptors);
}

std::string plainReply(int status, std::string_view reason, std::string_view body,
                       std::string_view extraHeaders = {}) {
    std::string reply = "HTTP/1.0 " + std::to_string(status) + " " + std::string(reason) +
                        "\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Length: " +
                        std::to_string(body.size()) + "\r\n";
    reply.append(extraHeaders).append("\r\n").append(body);
    return reply;
}

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

// Undoes %XX escapes; false for a broken escape.
bool percentDecode(std::string_view text, std::string &decoded) {
    decoded.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            decoded += text[i];
            continue;
        }
        if (i + 2 >= text.size()) {
            return false;
        }
        const int high = hexValue(text[i + 1]);
        const int low = hexValue(text[i + 2]);
        if (high < 0 || low < 0) {
            return false;
        }
        decoded += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return true;
}

const webfile::ParsedEntry *findEntry(const webfile::ParseResult &site, std::string_view name) {
    for (const webfile::ParsedEntry &e : site.entries) {
        if (e.name == name) {
            return &e;
        }
    }
    return nullptr;
}

} // namespace

PreviewReply previewReply(const webfile::ParseResult &site, std::string_view requestHead) {
    PreviewReply reply;
    std::string_view requestLine = requestHead.substr(0, requestHead.find('\n'));
    if (requestLine.ends_with('\r')) {
        requestLine.remove_suffix(1);
    }
    const std::size_t firstBlank = requestLine.find(' ');
    const std::size_t secondBlank =
        firstBlank == std::string_view::npos ? firstBlank : requestLine.find(' ', firstBlank + 1);
    if (secondBlank == std::string_view::npos ||
        !requestLine.substr(secondBlank + 1).starts_with("HTTP/")) {
        reply.status = 400;
        reply.bytes = plainReply(400, "Bad Request", "Bad request\n");
        return reply;
    }
    const std::string_view method = requestLine.substr(0, firstBlank);
    std::string_view target = requestLine.substr(firstBlank + 1, secondBlank - firstBlank - 1);
    if (method != "GET" && method != "HEAD") {
        reply.status = 405;
        reply.bytes =
            plainReply(405, "Method Not Allowed", "Only GET and HEAD\n", "Allow: GET, HEAD\r\n");
        return reply;
    }
    // An absolute target ("http://127.0.0.1:8080/x") names the path after its host.
    if (target.starts_with("http://")) {
        const std::size_t slash = target.find('/', 7);
        target = slash == std::string_view::npos ? std::string_view("/") : target.substr(slash);
    }
    target = target.substr(0, target.find_first_of("?#"));
    std::string path;
    if (!target.starts_with('/') || !percentDecode(target, path)) {
        reply.status = 400;
        reply.bytes = plainReply(400, "Bad Request", "Bad request\n");
        return reply;
    }
    const std::string_view name = std::string_view(path).substr(1);
    const webfile::ParsedEntry *entry = nullptr;
    if (name.empty()) {
        entry = findEntry(site, "index.htm");
        if (!entry) {
            entry = findEntry(site, "index.html");
        }
    } else {
        entry = findEntry(site, name);
    }
    if (!entry) {
        reply.status = 404;
        reply.bytes = plainReply(404, "Not Found", "Not found\n");
        return reply;
    }
    const std::string_view body = entryBody(entry->stored);
    if (body.size() != entry->stored.size()) {
        // The stored bytes are a complete reply; a HEAD request gets its head alone.
        const std::string_view stored = entry->stored;
        reply.bytes =
            std::string(method == "HEAD" ? stored.substr(0, stored.size() - body.size()) : stored);
        return reply;
    }
    reply.bytes = "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n";
    if (method == "GET") {
        reply.bytes.append(body);
    }
    return reply;
}

PreviewServer::PreviewServer(std::unique_ptr<LoadedWebFile> site, QObject *parent)
    : QObject(parent)
    , Site(std::move(site))
    , Sweep(new QTimer(this))
    , Retry(new QTimer(this)) {
    // One timer for every connection's idle limit: a socket's own timer firing while the socket
    // is being destroyed would call into half an object.
    Sweep->setInterval(kSweepMs);
    connect(Sweep, &QTimer::timeout, this, &PreviewServer::closeIdleConnections);
    Retry->setSingleShot(true);
    Retry->setInterval(kRetryAcceptMs);
    connect(Retry, &QTimer::timeout, this, &PreviewServer::resumeAccepting);
}

PreviewServer::~PreviewServer() {
    for (const Connection &connection : Open) {
        disconnect(connection.socket, nullptr, this, nullptr);
        connection.socket->abort();
    }
    if (Listener >= 0)
        ::close(Listener);
}

// The listening socket is the server's own rather than a QTcpServer's: at descriptor exhaustion
// the toolkit's server goes on polling a socket that stays readable.
bool PreviewServer::listen(quint16 port) {
    Listener = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const int on = 1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (Listener < 0 || ::setsockopt(Listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        ::bind(Listener, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        ::listen(Listener, SOMAXCONN) != 0) {
        Error = QString::fromLocal8Bit(std::strerror(errno));
        if (Listener >= 0)
            ::close(Listener);
        Listener = -1;
        return false;
    }
    Incoming = new QSocketNotifier(Listener, QSocketNotifier::Read, this);
    connect(Incoming, &QSocketNotifier::activated, this, &PreviewServer::acceptConnections);
    return true;
}

quint16 PreviewServer::port() const {
    sockaddr_in bound{};
    socklen_t length = sizeof bound;
    if (Listener < 0 || ::getsockname(Listener, reinterpret_cast<sockaddr *>(&bound), &length) != 0)
        return 0;
    return ntohs(bound.sin_port);
}

QString PreviewServer::errorString() const {
    return Error;
}

void PreviewServer::acceptConnections() {
    for (;;) {
        // Past the budget the rest wait in the system's queue: a process without a free
        // descriptor cannot even report its own errors.
        if (static_cast<long>(Open.size()) >= ConnectionBudget()) {
            pauseAccepting();
            break;
        }
        const int descriptor = ::accept4(Listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (descriptor < 0) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)
                pauseAccepting();
            break;
        }
        auto *socket = new QTcpSocket(this);
        if (!socket->setSocketDescriptor(descriptor)) {
            ::close(descriptor);
            delete socket;
            continue;
        }
        Open.push_back({socket, QDeadlineTimer(kIdleTimeoutMs)});
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readRequest(socket); });
        // Each ends the connection once; forget() takes the socket off the list first.
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] { forget(socket); });
        connect(socket, &QTcpSocket::errorOccurred, this, [this, socket] { forget(socket); });
    }
    if (!Open.empty() && !Sweep->isActive())
        Sweep->start();
}

void PreviewServer::pauseAccepting() {
    Incoming->setEnabled(false);
    // A closing connection frees a descriptor at once; another part of the process may free
    // one meanwhile, which only a later try can tell.
    Retry->start();
}

void PreviewServer::resumeAccepting() {
    Retry->stop();
    if (Incoming && !Incoming->isEnabled())
        Incoming->setEnabled(true);
}

void PreviewServer::forget(QTcpSocket *socket) {
    const auto found = std::find_if(Open.begin(), Open.end(),
                                    [socket](const Connection &c) { return c.socket == socket; });
    if (found == Open.end())
        return;
    Open.erase(found);
    disconnect(socket, nullptr, this, nullptr);
    socket->deleteLater();
    if (Retry->isActive())
        resumeAccepting();
    if (Open.empty())
        Sweep->stop();
}

void PreviewServer::closeIdleConnections() {
    std::vector<QTcpSocket *> expired;
    for (const Connection &connection : Open)
        if (connection.idle.hasExpired())
            expired.push_back(connection.socket);
    for (QTcpSocket *socket : expired) {
        forget(socket);
        socket->abort();
    }
}

void PreviewServer::readRequest(QTcpSocket *socket) {
    // One request per connection: the reply ends when the connection closes, as on a device.
    if (socket->property("answered").toBool()) {
        socket->readAll();
        return;
    }
    QByteArray head = socket->property("head").toByteArray() + socket->readAll();
    // Clients that end lines with a bare line feed are served too.
    qsizetype end = head.indexOf("\r\n\r\n");
    if (const qsizetype bare = head.indexOf("\n\n"); bare >= 0 && (end < 0 || bare < end)) {
        end = bare;
    }
    if (end < 0) {
        if (head.size() > kMaxRequestHead) {
            socket->setProperty("answered", true);
            const std::string refusal =
                plainReply(431, "Request Header Fields Too Large", "Request too large\n");
            socket->write(refusal.data(), static_cast<qint64>(refusal.size()));
            socket->disconnectFromHost();
        } else {
            socket->setProperty("head", head);
        }
        return;
    }
    socket->setProperty("answered", true);
    const PreviewReply reply = previewReply(
        Site->parsed, std::string_view(head.constData(), static_cast<std::size_t>(end)));
    socket->write(reply.bytes.data(), static_cast<qint64>(reply.bytes.size()));
    socket->disconnectFromHost();
    if (Log) {
        const std::string requestLine = head.left(head.indexOf('\n')).trimmed().toStdString();
        Log(printableName(requestLine) + " -> " + std::to_string(reply.status) + " (" +
            std::to_string(reply.bytes.size()) + " bytes)");
    }
}

} // namespace cli
