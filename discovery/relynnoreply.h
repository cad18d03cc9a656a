// Why a search may have found nothing: the interfaces it asked, and a firewall on this computer
// that drops the devices' replies (a stateful firewall cannot match a reply to a broadcast).
#pragma once

#include "discovery/relynnetwork.h"
#include "discovery/relynsearch.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

struct TRelynFirewall {
    enum TKind {
        fwNone,      // nothing found that drops the replies
        fwNftables,  // a readable input chain that drops them
        fwFirewalld, // the service runs
        fwUfw,       // the service is enabled
        fwUnknown,   // the rules cannot be read (a normal user) and no known service runs
    };
    TKind Kind = fwNone;
    QString Chain; // "inet filter input" for fwNftables
};

// The first IPv4 input chain of an nftables ruleset ("nft -j list ruleset") that drops what it
// does not accept (policy drop, or a final drop or reject for everything) and has no rule that
// accepts UDP from the devices' port: "family table chain". Empty when there is none.
QString RelynBlockingChain(const QByteArray &rulesetJson);

// This computer's firewall as far as the user running the program can tell: the nftables
// rules when they can be read, else firewalld or ufw, else unknown for a normal user.
TRelynFirewall RelynCheckFirewall();

// The lines that explain an empty search, in plain words, with the command that lets the
// replies in. No interfaces: the system chose one.
QStringList RelynNoReplyHint(const QList<TRelynInterface> &asked, const TRelynFirewall &firewall);

// The same for a range search, which asks each address by itself: the addresses asked, what a
// device needs to answer there, and the firewall in the words that fit a direct query.
QStringList RelynRangeNoReplyHint(const QList<TRelynRange> &ranges, const TRelynFirewall &firewall);

// The hint that fits the search made: a range search's when the scope has ranges, else the
// broadcast's for the interfaces asked.
QStringList RelynSearchNoReplyHint(const TRelynSearchScope &scope,
                                   const QList<TRelynInterface> &asked,
                                   const TRelynFirewall &firewall);

// What an empty device table says: that no device answered, then the hint's lines.
QString RelynNoReplyText(const QStringList &hint);
