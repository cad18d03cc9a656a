#include "app/cli/previewserver.h"

#include <QSocketNotifier>
#include <QTcpSocket>
#include <QTimer>
#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

namespace cli {

namespace {

// A request head longer than this is refused rather than buffered without end.
constexpr qsizetype kMaxRequestHead = 16 * 1024;
// A connection that sends no complete request head within this time is closed.
constexpr int kIdleTimeoutMs = 15000;
// Kept free for everything else the process does; the sanitizers' own checks need a pipe.
constexpr rlim_t kSpareDescriptors = 16;
constexpr int kRetryAcceptMs = 1000;

// Descriptors are handed out lowest first, so the one just given says how few are left.
bool nearLimit(int descriptor) {
    rlimit limit{};
    return ::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
           static_cast<rlim_t>(descriptor) + kSpareDescriptors >= limit.rlim_cur;
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

LoopbackListener::LoopbackListener(Accepted accepted, MakeRoom makeRoom, QObject *parent)
    : QObject(parent)
    , OnAccepted(std::move(accepted))
    , OnMakeRoom(std::move(makeRoom))
    , Retry(new QTimer(this)) {
    // A descriptor freed outside the server is not announced: a late look finds it.
    Retry->setSingleShot(true);
    Retry->setInterval(kRetryAcceptMs);
    connect(Retry, &QTimer::timeout, this, &LoopbackListener::resume);
}

LoopbackListener::~LoopbackListener() {
    delete Notifier;
    if (Descriptor >= 0) {
        ::close(Descriptor);
    }
}

bool LoopbackListener::listen(quint16 port) {
    const int descriptor = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (descriptor < 0) {
        Error = qt_error_string(errno);
        return false;
    }
    // A preview started again finds its port while the last one's connections linger.
    const int on = 1;
    ::setsockopt(descriptor, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(descriptor, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0 ||
        ::listen(descriptor, SOMAXCONN) != 0) {
        Error = qt_error_string(errno);
        ::close(descriptor);
        return false;
    }
    Descriptor = descriptor;
    Notifier = new QSocketNotifier(descriptor, QSocketNotifier::Read, this);
    connect(Notifier, &QSocketNotifier::activated, this, &LoopbackListener::acceptPending);
    return true;
}

quint16 LoopbackListener::port() const {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (Descriptor < 0 ||
        ::getsockname(Descriptor, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
        return 0;
    }
    return ntohs(address.sin_port);
}

void LoopbackListener::resume() {
    Full = false;
    Retry->stop();
    if (Notifier) {
        Notifier->setEnabled(true);
    }
}

void LoopbackListener::pause() {
    Notifier->setEnabled(false);
    Retry->start();
}

void LoopbackListener::acceptPending() {
    for (;;) {
        const int descriptor =
            ::accept4(Descriptor, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (descriptor >= 0) {
            // A descriptor freed to make room is the next one handed out, below the mark: the
            // listener stays full until a connection ends by itself.
            Full = Full || nearLimit(descriptor);
            const bool roomMade = Full && OnMakeRoom();
            OnAccepted(descriptor);
            if (Full && !roomMade) {
                pause();
                return;
            }
            continue;
        }
        switch (errno) {
        case EAGAIN:
            return;
        case EINTR:
        case ECONNABORTED:
        case EPROTO:
        case ENETDOWN:
        case ENETUNREACH:
        case EHOSTDOWN:
        case EHOSTUNREACH:
        case ENONET:
        case ENOPROTOOPT:
        case EOPNOTSUPP:
            continue; // that connection is gone; the next may be fine
        case EMFILE:
        case ENFILE:
        case ENOBUFS:
        case ENOMEM:
            Full = true;
            if (OnMakeRoom()) {
                continue;
            }
            pause();
            return;
        default:
            pause();
            return;
        }
    }
}

struct PreviewServer::Connection : QObject {
    using QObject::QObject;
    QTcpSocket *socket = nullptr;
    QByteArray head;
    bool answered = false;
    bool closed = false;
};

PreviewServer::PreviewServer(std::unique_ptr<LoadedWebFile> site, QObject *parent)
    : QObject(parent)
    , Site(std::move(site))
    , Listener(new LoopbackListener([this](int descriptor) { open(descriptor); },
                                    [this] { return closeOldestWaiting(); }, this)) {
}

PreviewServer::~PreviewServer() {
    // Open connections go first, while the server they call back into is whole.
    for (Connection *connection : std::exchange(Connections, {})) {
        delete connection;
    }
}

bool PreviewServer::listen(quint16 port) {
    return Listener->listen(port);
}

quint16 PreviewServer::port() const {
    return Listener->port();
}

QString PreviewServer::errorString() const {
    return Listener->errorString();
}

void PreviewServer::open(int descriptor) {
    auto *connection = new Connection(this);
    connection->socket = new QTcpSocket(connection);
    if (!connection->socket->setSocketDescriptor(descriptor)) {
        delete connection;
        if (::fcntl(descriptor, F_GETFD) != -1) {
            ::close(descriptor);
        }
        return;
    }
    Connections.push_back(connection);
    // Every signal is taken with the connection as context, so none arrives once it is gone.
    auto *idle = new QTimer(connection);
    idle->setSingleShot(true);
    connect(idle, &QTimer::timeout, connection, [this, connection] { end(connection); });
    idle->start(kIdleTimeoutMs);
    QTcpSocket *socket = connection->socket;
    connect(socket, &QTcpSocket::readyRead, connection,
            [this, connection] { readRequest(*connection); });
    connect(socket, &QTcpSocket::disconnected, connection, [this, connection] { end(connection); });
    connect(socket, &QTcpSocket::errorOccurred, connection,
            [this, connection] { end(connection); });
}

bool PreviewServer::close(Connection *connection) {
    if (connection->closed) {
        return false;
    }
    connection->closed = true;
    Connections.remove(connection);
    // The descriptor is freed now, for the listener; the objects go once the signal that got
    // here has returned.
    connection->socket->abort();
    connection->deleteLater();
    return true;
}

void PreviewServer::end(Connection *connection) {
    if (close(connection)) {
        Listener->resume();
    }
}

bool PreviewServer::closeOldestWaiting() {
    const auto waiting = std::find_if(Connections.begin(), Connections.end(),
                                      [](const Connection *c) { return !c->answered; });
    if (waiting == Connections.end()) {
        return false;
    }
    close(*waiting);
    return true;
}

void PreviewServer::readRequest(Connection &connection) {
    QTcpSocket *socket = connection.socket;
    // One request per connection: the reply ends when the connection closes, as on a device.
    if (connection.answered) {
        socket->readAll();
        return;
    }
    QByteArray &head = connection.head;
    head += socket->readAll();
    // Clients that end lines with a bare line feed are served too.
    qsizetype end = head.indexOf("\r\n\r\n");
    if (const qsizetype bare = head.indexOf("\n\n"); bare >= 0 && (end < 0 || bare < end)) {
        end = bare;
    }
    if (end < 0) {
        if (head.size() > kMaxRequestHead) {
            connection.answered = true;
            const std::string refusal =
                plainReply(431, "Request Header Fields Too Large", "Request too large\n");
            socket->write(refusal.data(), static_cast<qint64>(refusal.size()));
            socket->disconnectFromHost();
        }
        return;
    }
    connection.answered = true;
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
