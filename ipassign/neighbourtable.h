// The system's side of the ARP mode: which link reaches an address, what the neighbour table
// holds, and a connection attempt that makes the device see traffic to its new address.
#pragma once

#include <QByteArray>
#include <QString>

// The name of the link the system routes the address over. Nothing is sent: a UDP socket is
// connected only to learn the route's source address. Throws ESocketError when no route exists
// or the source address belongs to no link.
QString RouteLinkTo(const QString &address);

// Whether the table text (as /proc/net/arp gives it) holds a complete, permanent entry for the
// address with that link-layer address (compared without regard to case) on that link.
bool ArpTableHasPermanentEntry(const QByteArray &table, const QString &address,
                               const QString &linkAddress, const QString &link);
// The same for this network namespace's table.
bool HasPermanentNeighbour(const QString &address, const QString &linkAddress, const QString &link);

// Whether this process holds the capability to change the neighbour table (CAP_NET_ADMIN).
bool MayChangeNeighbourTable();

// One TCP connection attempt to the port, given up after timeoutMs; the outcome is of no
// interest, only the traffic.
void ProbeTcpPort(const QString &address, quint16 port, int timeoutMs);
