// Many echoes at once over one ICMP socket, from the event loop: the restart waits of a fleet
// upload share it instead of holding a thread and a socket each.
#pragma once

#include "support/icmpsocketecho.h"

#include <QHash>
#include <QObject>

#include <functional>
#include <memory>

class QSocketNotifier;
class QTimer;

class TEchoHub : public QObject {
    Q_OBJECT
public:
    using TDone = std::function<void(bool answered)>;

    // nullptr when this system gives this user no ICMP socket; whyNot then says why.
    static std::shared_ptr<TEchoHub> Open(QString *whyNot = nullptr);
    ~TEchoHub() override;

    // One echo request to address (network byte order). done follows from the event loop,
    // never from within Send: true at the answer, false once timeoutMs have passed without.
    // The number is the echo's for Forget.
    quint64 Send(quint32 address, int timeoutMs, TDone done);
    // The echo's done is never called; an unknown or ended number is ignored.
    void Forget(quint64 echo);
    int InFlight() const { return static_cast<int>(FPending.size()); }

private:
    explicit TEchoHub(std::unique_ptr<TIcmpSocket> socket);
    void Readable();
    void End(quint16 sequence, bool answered);

    struct TPending {
        quint64 Echo = 0;
        TDone Done;
        QTimer *Timer = nullptr;
    };
    std::unique_ptr<TIcmpSocket> FSocket;
    QSocketNotifier *FNotifier;
    QHash<quint16, TPending> FPending;
    QHash<quint64, quint16> FSequences;
    quint64 FNextEcho = 1;
};
