#include "support/echohub.h"

#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>

#include <sys/socket.h>

std::shared_ptr<TEchoHub> TEchoHub::Open(QString *whyNot) {
    std::unique_ptr<TIcmpSocket> socket = TIcmpSocket::Open(whyNot);
    if (!socket)
        return nullptr;
    // A thousand devices that come back at once answer in one burst.
    const int size = 1 << 20;
    ::setsockopt(socket->Descriptor(), SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    return std::shared_ptr<TEchoHub>(new TEchoHub(std::move(socket)));
}

TEchoHub::TEchoHub(std::unique_ptr<TIcmpSocket> socket)
    : FSocket(std::move(socket))
    , FNotifier(new QSocketNotifier(FSocket->Descriptor(), QSocketNotifier::Read, this)) {
    connect(FNotifier, &QSocketNotifier::activated, this, &TEchoHub::Readable);
}

TEchoHub::~TEchoHub() {
    // The timers go with this object; nobody is told anything any more.
    FPending.clear();
}

quint64 TEchoHub::Send(quint32 address, int timeoutMs, TDone done) {
    quint16 sequence = TIcmpSocket::NewSequence();
    while (FPending.contains(sequence))
        sequence = TIcmpSocket::NewSequence();
    TPending pending;
    pending.Echo = FNextEcho++;
    pending.Done = std::move(done);
    pending.Timer = new QTimer(this);
    pending.Timer->setSingleShot(true);
    // Every echo waits its whole time, never the few per cent early of a coarse timer.
    pending.Timer->setTimerType(Qt::PreciseTimer);
    connect(pending.Timer, &QTimer::timeout, this, [this, sequence] { End(sequence, false); });
    pending.Timer->start(std::max(timeoutMs, 0));
    FSequences.insert(pending.Echo, sequence);
    const quint64 echo = pending.Echo;
    FPending.insert(sequence, std::move(pending));
    // A refused send is no answer: the timer ends the echo, as for a request that got lost.
    FSocket->Send(address, sequence);
    return echo;
}

void TEchoHub::Forget(quint64 echo) {
    const auto found = FSequences.constFind(echo);
    if (found == FSequences.constEnd())
        return;
    const quint16 sequence = found.value();
    FSequences.erase(found);
    if (const auto pending = FPending.find(sequence); pending != FPending.end()) {
        delete pending->Timer;
        FPending.erase(pending);
    }
}

void TEchoHub::Readable() {
    // Everything there is now, reports first: a burst of answers is one wake-up. Whoever is
    // told of an answer may drop the last reference to this hub.
    const QPointer<TEchoHub> alive(this);
    for (bool errorQueue : {true, false}) {
        for (;;) {
            const TIcmpSocket::TArrival arrival = FSocket->Read(errorQueue);
            if (arrival.Kind == TIcmpSocket::TArrival::aNone)
                break;
            if (arrival.Kind == TIcmpSocket::TArrival::aAnswer)
                End(arrival.Sequence, true);
            if (!alive)
                return;
        }
    }
}

void TEchoHub::End(quint16 sequence, bool answered) {
    const auto found = FPending.find(sequence);
    if (found == FPending.end())
        return;
    TPending pending = std::move(found.value());
    FPending.erase(found);
    FSequences.remove(pending.Echo);
    pending.Timer->deleteLater();
    pending.Timer->stop();
    // Last: done may send the next echo, or end the hub's user.
    pending.Done(answered);
}

#include "moc_echohub.cpp"
