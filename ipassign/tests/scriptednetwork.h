// A scripted network for the IP assignment: an echo service, an endpoint and a neighbour table
// that do what a test says and remember what the procedure did with them.
#pragma once

#include "ipassign/relynipchange.h"
#include "support/childprocess.h"
#include "support/nethelpers.h"

#include <QList>
#include <QPair>
#include <QStringList>
#include <functional>

struct TScriptedNetwork {
    bool EchoAvailable = true;
    bool AddressAnswers = false;
    int Echoes = 0;
    QStringList ResolvedHosts;
    QList<QPair<QByteArray, std::uint16_t>> Broadcasts;
    bool BroadcastFails = false;
    // The interface index of each broadcast (0: the system's choice).
    QList<int> BroadcastInterfaces;
    // Called at each echo, to look at the world while the procedure waits.
    std::function<void()> DuringEcho;

    QString Link = QStringLiteral("lab0");
    bool RouteFails = false;
    bool RunFails = false;
    bool EntryAppears = true;
    bool Privileged = true;
    QStringList Commands;
    QStringList Probes;

    TRelynIPChangeEnvironment Environment();
};

class TScriptedEcho : public TEchoService {
public:
    explicit TScriptedEcho(TScriptedNetwork &network)
        : Net(network) {}
    TEchoReply Echo(quint32, int timeoutMs) override {
        if (timeoutMs != TRelynIPChange::EchoTimeoutMs)
            throw std::logic_error("unexpected echo time-out");
        ++Net.Echoes;
        if (Net.DuringEcho)
            Net.DuringEcho();
        return {Net.AddressAnswers, 64, 1};
    }

private:
    TScriptedNetwork &Net;
};

// Takes broadcasts only: the procedure neither sends to one device nor receives.
class TScriptedEndpoint : public TRelynEndpoint {
public:
    explicit TScriptedEndpoint(TScriptedNetwork &network)
        : Net(network) {}
    void SetRemoteHost(const QString &) override { throw std::logic_error("unexpected send"); }
    void SetRemotePort(std::uint16_t) override {}
    void Broadcast(const QByteArray &data, std::uint16_t port) override {
        if (Net.BroadcastFails)
            throw ESocketError::FromErrno(ENETUNREACH);
        Net.Broadcasts.append({data, port});
        Net.BroadcastInterfaces.append(0);
    }
    void BroadcastVia(const QByteArray &data, std::uint16_t port, int interfaceIndex) override {
        Broadcast(data, port);
        Net.BroadcastInterfaces.back() = interfaceIndex;
    }
    void Send(const QByteArray &) override { throw std::logic_error("unexpected send"); }
    TRelynDatagram Receive(int) override { throw std::logic_error("unexpected receive"); }

private:
    TScriptedNetwork &Net;
};

inline TRelynIPChangeEnvironment TScriptedNetwork::Environment() {
    TRelynIPChangeEnvironment environment;
    environment.Echo.OpenService = [this]() -> std::unique_ptr<TEchoService> {
        if (!EchoAvailable)
            return nullptr;
        return std::make_unique<TScriptedEcho>(*this);
    };
    // Only address texts resolve: a name would need a name server.
    environment.Echo.Resolve = [this](const QString &host) -> quint32 {
        ResolvedHosts << host;
        QString normal = host;
        return NormalizeIPText(normal) ? 0x0100000A : 0;
    };
    environment.Echo.Sleep = [](int) {
    };
    environment.OpenEndpoint = [this] {
        return std::make_unique<TScriptedEndpoint>(*this);
    };
    environment.RouteLink = [this](const QString &) {
        if (RouteFails)
            throw ESocketError::FromErrno(ENETUNREACH);
        return Link;
    };
    environment.Run = [this](const QString &commandLine) {
        if (RunFails)
            throw TCreateProcessError(QStringLiteral("Unable to Create Process \"") + commandLine +
                                      QLatin1Char('"'));
        Commands << commandLine;
    };
    environment.HasPermanentNeighbour = [this](const QString &, const QString &, const QString &) {
        return EntryAppears && !Commands.isEmpty();
    };
    environment.MayChangeNeighbours = [this] {
        return Privileged;
    };
    environment.Probe = [this](const QString &address) {
        Probes << address;
    };
    return environment;
}
