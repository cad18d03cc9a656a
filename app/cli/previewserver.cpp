#include "app/cli/previewserver.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

namespace cli {

namespace {

// A request head longer than this is refused rather than buffered without end.
constexpr qsizetype kMaxRequestHead = 16 * 1024;
// A connection that sends no complete request head within this time is closed.
constexpr int kIdleTimeoutMs = 15000;

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
    , Server(new QTcpServer(this)) {
    connect(Server, &QTcpServer::newConnection, this, &PreviewServer::acceptConnections);
}

PreviewServer::~PreviewServer() = default;

bool PreviewServer::listen(quint16 port) {
    return Server->listen(QHostAddress::LocalHost, port);
}

quint16 PreviewServer::port() const {
    return Server->serverPort();
}

QString PreviewServer::errorString() const {
    return Server->errorString();
}

void PreviewServer::acceptConnections() {
    while (QTcpSocket *socket = Server->nextPendingConnection()) {
        socket->setParent(this);
        auto *idle = new QTimer(socket);
        idle->setSingleShot(true);
        connect(idle, &QTimer::timeout, socket, &QTcpSocket::abort);
        idle->start(kIdleTimeoutMs);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readRequest(socket); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::errorOccurred, socket, &QObject::deleteLater);
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
