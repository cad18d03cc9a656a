#include "ipassign/neighbourtable.h"

#include "support/nethelpers.h"

#include <QFile>
#include <QList>

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Closes the descriptor on every way out.
class SocketHandle {
public:
    explicit SocketHandle(int fd)
        : FFd(fd) {}
    ~SocketHandle() {
        if (FFd >= 0)
            ::close(FFd);
    }
    SocketHandle(const SocketHandle &) = delete;
    SocketHandle &operator=(const SocketHandle &) = delete;
    int Fd() const { return FFd; }

private:
    int FFd;
};

sockaddr_in SocketAddress(const QString &address, quint16 port) {
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = htons(port);
    if (::inet_pton(AF_INET, address.toLatin1().constData(), &target.sin_addr) != 1)
        throw EConvertError(QStringLiteral("'%1' is not a valid IPv4 address").arg(address));
    return target;
}

} // namespace

QString RouteLinkTo(const QString &address) {
    const sockaddr_in target = SocketAddress(address, 1);
    const SocketHandle socket(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (socket.Fd() < 0)
        throw ESocketError::FromErrno(errno);
    if (::connect(socket.Fd(), reinterpret_cast<const sockaddr *>(&target), sizeof target) != 0)
        throw ESocketError::FromErrno(errno);
    sockaddr_in source{};
    socklen_t length = sizeof source;
    if (::getsockname(socket.Fd(), reinterpret_cast<sockaddr *>(&source), &length) != 0)
        throw ESocketError::FromErrno(errno);

    ifaddrs *links = nullptr;
    if (::getifaddrs(&links) != 0)
        throw ESocketError::FromErrno(errno);
    QString name;
    for (const ifaddrs *link = links; link && name.isEmpty(); link = link->ifa_next) {
        if (link->ifa_addr && link->ifa_addr->sa_family == AF_INET &&
            reinterpret_cast<const sockaddr_in *>(link->ifa_addr)->sin_addr.s_addr ==
                source.sin_addr.s_addr)
            name = QString::fromLocal8Bit(link->ifa_name);
    }
    ::freeifaddrs(links);
    if (name.isEmpty())
        throw ESocketError::FromErrno(ENODEV);
    return name;
}

bool ArpTableHasPermanentEntry(const QByteArray &table, const QString &address,
                               const QString &linkAddress, const QString &link) {
    constexpr unsigned Complete = 0x2;  // ATF_COM
    constexpr unsigned Permanent = 0x4; // ATF_PERM
    const QList<QByteArray> lines = table.split('\n');
    // The first line is the column heading: address, type, flags, link-layer address, mask, link.
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> fields = lines[i].simplified().split(' ');
        if (fields.size() < 6 || QString::fromLatin1(fields[0]) != address)
            continue;
        bool ok = false;
        const unsigned flags = fields[2].toUInt(&ok, 16);
        if (ok && (flags & Complete) && (flags & Permanent) &&
            QString::fromLatin1(fields[3]).compare(linkAddress, Qt::CaseInsensitive) == 0 &&
            QString::fromLocal8Bit(fields[5]) == link)
            return true;
    }
    return false;
}

bool HasPermanentNeighbour(const QString &address, const QString &linkAddress,
                           const QString &link) {
    QFile file(QStringLiteral("/proc/net/arp"));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    return ArpTableHasPermanentEntry(file.readAll(), address, linkAddress, link);
}

bool MayChangeNeighbourTable() {
    constexpr int NetAdmin = 12; // CAP_NET_ADMIN
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return true; // unknown: the generic error is the honest one
    // A /proc file reports the size 0, so it is read whole rather than up to its "end".
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("CapEff:")) {
            bool ok = false;
            const qulonglong effective = line.mid(7).trimmed().toULongLong(&ok, 16);
            return !ok || (effective >> NetAdmin) & 1;
        }
    }
    return true;
}

void ProbeTcpPort(const QString &address, quint16 port, int timeoutMs) {
    const sockaddr_in target = SocketAddress(address, port);
    const SocketHandle socket(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (socket.Fd() < 0)
        return;
    if (::connect(socket.Fd(), reinterpret_cast<const sockaddr *>(&target), sizeof target) == 0 ||
        errno != EINPROGRESS)
        return;
    pollfd wait{socket.Fd(), POLLOUT, 0};
    while (::poll(&wait, 1, timeoutMs) < 0 && errno == EINTR) {
    }
}
