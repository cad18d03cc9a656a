// Serves a web file on the loopback interface as a device's web server would, so that a site
// can be looked at in a browser before it is uploaded.
#pragma once

#include "app/cli/webfilecommands.h"

#include <QDeadlineTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class QSocketNotifier;
class QTcpSocket;

namespace cli {

struct PreviewReply {
    std::string bytes; // the whole reply, head and body
    int status = 200;  // for the request log
};

// The reply to one request head (request line and header lines, up to the blank line).
// A stored entry goes out as it stands: its bytes are already a complete reply.
PreviewReply previewReply(const webfile::ParseResult &site, std::string_view requestHead);

class PreviewServer : public QObject {
public:
    // Lines such as "GET /index.htm 200 142" go to the request log when one is set.
    using RequestLog = std::function<void(const std::string &line)>;

    explicit PreviewServer(std::unique_ptr<LoadedWebFile> site, QObject *parent = nullptr);
    ~PreviewServer() override;

    // Listens on 127.0.0.1 only; port 0 picks a free port.
    bool listen(quint16 port);
    quint16 port() const;
    QString errorString() const;

    void setRequestLog(RequestLog log) { Log = std::move(log); }

    // Connections open now (for tests).
    int openConnections() const { return static_cast<int>(Open.size()); }

private:
    void acceptConnections();
    void readRequest(QTcpSocket *socket);
    // Out of descriptors, the listening socket stays readable while accept fails: it is left
    // alone until a connection closes or a while has passed.
    void pauseAccepting();
    void resumeAccepting();
    void closeIdleConnections();
    void forget(QTcpSocket *socket);

    struct Connection {
        QTcpSocket *socket;
        QDeadlineTimer idle;
    };

    std::unique_ptr<LoadedWebFile> Site;
    int Listener = -1;
    QSocketNotifier *Incoming = nullptr;
    QString Error;
    QTimer *Sweep;
    QTimer *Retry;
    std::vector<Connection> Open;
    RequestLog Log;
};

} // namespace cli
