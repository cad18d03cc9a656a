// UDP endpoint towards the devices' port: one datagram socket, opened on first use and bound by
// the system at the first send, so that every reply of one exchange arrives on that port.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

inline constexpr std::uint16_t RelynDevicePort = 30718;
inline constexpr int RelynReceiveBufferSize = 8192;
inline const QString RelynLimitedBroadcast = QStringLiteral("255.255.255.255");

struct TRelynDatagram {
    QByteArray Data;
    QString SenderAddress;
    std::uint16_t SenderPort = 0;
    // False when the wait ended without a datagram; a zero-length datagram did arrive.
    bool Arrived = false;
    // The interface it came in on; 0 when not known.
    int InterfaceIndex = 0;
};

// What the discovery engine needs of an endpoint; tests stand in their own.
class TRelynEndpoint {
public:
    virtual ~TRelynEndpoint() = default;
    virtual void SetRemoteHost(const QString &host) = 0;
    virtual void SetRemotePort(std::uint16_t port) = 0;
    // Sends one datagram to the broadcast address with broadcast permission for this send only.
    virtual void Broadcast(const QByteArray &data, std::uint16_t port) = 0;
    // Sends one datagram to the remote host and port.
    virtual void Send(const QByteArray &data) = 0;
    // Waits up to timeoutMs for one datagram from any sender.
    virtual TRelynDatagram Receive(int timeoutMs) = 0;

    // The same out of one interface (its index; 0 lets the system choose, as above).
    virtual void BroadcastVia(const QByteArray &data, std::uint16_t port, int interfaceIndex) {
        (void)interfaceIndex;
        Broadcast(data, port);
    }
    virtual void SendVia(const QByteArray &data, int interfaceIndex) {
        (void)interfaceIndex;
        Send(data);
    }
    // One datagram to address and port; the system's refusal is returned (errno), not raised,
    // so that a sweep over many addresses goes on past one it cannot reach.
    virtual int TrySendTo(const QString &address, std::uint16_t port, const QByteArray &data) {
        SetRemoteHost(address);
        SetRemotePort(port);
        Send(data);
        return 0;
    }
};

// Socket failures raise ESocketError with "Socket Error # <errno>\r\n<description>".
class TRelyn final : public TRelynEndpoint {
public:
    // The broadcast address is 255.255.255.255 in the program; tests on the loopback interface
    // point it at a local peer.
    explicit TRelyn(QString broadcastAddress = RelynLimitedBroadcast);
    ~TRelyn() override;
    TRelyn(const TRelyn &) = delete;
    TRelyn &operator=(const TRelyn &) = delete;

    void SetRemoteHost(const QString &host) override { RemoteHost = host; }
    void SetRemotePort(std::uint16_t port) override { RemotePort = port; }
    QString GetRemoteHost() const { return RemoteHost; }
    std::uint16_t GetRemotePort() const { return RemotePort; }
    QString GetBroadcastAddress() const { return BroadcastAddress; }

    void Broadcast(const QByteArray &data, std::uint16_t port) override;
    void Send(const QByteArray &data) override;
    TRelynDatagram Receive(int timeoutMs) override;
    // The interface is chosen per datagram (IP_PKTINFO), which needs no privilege. With a
    // broadcast address other than the limited one (tests) the index is not used.
    void BroadcastVia(const QByteArray &data, std::uint16_t port, int interfaceIndex) override;
    void SendVia(const QByteArray &data, int interfaceIndex) override;
    int TrySendTo(const QString &address, std::uint16_t port, const QByteArray &data) override;

    // The local port the system chose at the first send; 0 before.
    std::uint16_t LocalPort() const;

private:
    int Handle();
    void SendTo(const QString &address, std::uint16_t port, const QByteArray &data,
                int interfaceIndex = 0);
    // errno of a refused send, 0 when sent.
    int SendDatagram(const QString &address, std::uint16_t port, const QByteArray &data,
                     int interfaceIndex, int flags = 0);

    QString BroadcastAddress;
    QString RemoteHost;
    std::uint16_t RemotePort = RelynDevicePort;
    int Socket = -1;
};
