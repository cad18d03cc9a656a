// Serves a web file on the loopback interface as a device's web server would, so that a site
// can be looked at in a browser before it is uploaded.
#pragma once

#include "app/cli/webfilecommands.h"

#include <QObject>
#include <QString>
#include <functional>
#include <list>
#include <memory>
#include <string>
#include <string_view>

class QSocketNotifier;
class QTcpSocket;
class QTimer;

namespace cli {

struct PreviewReply {
    std::string bytes; // the whole reply, head and body
    int status = 200;  // for the request log
};

// The reply to one request head (request line and header lines, up to the blank line).
// A stored entry goes out as it stands: its bytes are already a complete reply.
PreviewReply previewReply(const webfile::ParseResult &site, std::string_view requestHead);

// A listening socket on 127.0.0.1 that copes with running out of descriptors. The socket stays
// readable while accept() fails for want of one, so polling it then would spin: the listener
// asks for room (a connection closed) instead, or else stops polling until resume() or a
// second later. It asks for room a few descriptors before the limit already, so the process
// keeps some for everything else it does.
class LoopbackListener : public QObject {
public:
    using Accepted = std::function<void(int descriptor)>;
    // Closes a connection to free its descriptor; false when none may go.
    using MakeRoom = std::function<bool()>;

    LoopbackListener(Accepted accepted, MakeRoom makeRoom, QObject *parent = nullptr);
    ~LoopbackListener() override;

    // Port 0 picks a free port.
    bool listen(quint16 port);
    quint16 port() const;
    QString errorString() const { return Error; }

    // A connection ended by itself: accepting goes on if it had stopped.
    void resume();

private:
    void acceptPending();
    void pause();

    Accepted OnAccepted;
    MakeRoom OnMakeRoom;
    int Descriptor = -1;
    QSocketNotifier *Notifier = nullptr;
    QTimer *Retry;
    bool Full = false;
    QString Error;
};

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

private:
    struct Connection;

    void open(int descriptor);
    void readRequest(Connection &connection);
    // Gives false when it was closed already.
    bool close(Connection *connection);
    // A connection that ends by itself (its client, its time) frees a descriptor for the next.
    void end(Connection *connection);
    bool closeOldestWaiting();

    std::unique_ptr<LoadedWebFile> Site;
    LoopbackListener *Listener;
    // Oldest first; each connection is a child of the server until it is closed.
    std::list<Connection *> Connections;
    RequestLog Log;
};

} // namespace cli
