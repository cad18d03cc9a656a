#include "discovery/relynnoreply.h"

#include "discovery/relyn.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <map>
#include <optional>
#include <unistd.h>

namespace {

bool CoversDevicePort(const QJsonValue &right) {
    if (right.isDouble())
        return right.toInt() == RelynDevicePort;
    const QJsonObject object = right.toObject();
    if (object.contains(QStringLiteral("range"))) {
        const QJsonArray range = object.value(QStringLiteral("range")).toArray();
        return range.size() == 2 && range[0].toInt() <= RelynDevicePort &&
               range[1].toInt() >= RelynDevicePort;
    }
    if (object.contains(QStringLiteral("set"))) {
        for (const QJsonValue &element : object.value(QStringLiteral("set")).toArray()) {
            if (CoversDevicePort(element))
                return true;
        }
    }
    return false;
}

bool IsVerdictOnly(const QJsonArray &expressions, const QString &verdict) {
    bool found = false;
    for (const QJsonValue &expression : expressions) {
        const QJsonObject object = expression.toObject();
        if (object.contains(verdict))
            found = true;
        else if (!object.contains(QStringLiteral("counter")) &&
                 !object.contains(QStringLiteral("log")))
            return false;
    }
    return found;
}

// A rule that lets the replies in: it accepts, and either matches nothing (accepts all) or
// matches the source port 30718 of UDP (or of any transport header).
bool AcceptsReplies(const QJsonArray &expressions) {
    if (IsVerdictOnly(expressions, QStringLiteral("accept")))
        return true;
    bool accepts = false, port = false;
    for (const QJsonValue &expression : expressions) {
        const QJsonObject object = expression.toObject();
        accepts = accepts || object.contains(QStringLiteral("accept"));
        const QJsonObject match = object.value(QStringLiteral("match")).toObject();
        const QJsonObject payload = match.value(QStringLiteral("left"))
                                        .toObject()
                                        .value(QStringLiteral("payload"))
                                        .toObject();
        const QString protocol = payload.value(QStringLiteral("protocol")).toString();
        if (payload.value(QStringLiteral("field")).toString() == QStringLiteral("sport") &&
            (protocol == QStringLiteral("udp") || protocol == QStringLiteral("th")) &&
            match.value(QStringLiteral("op")).toString(QStringLiteral("==")) !=
                QStringLiteral("!=") &&
            CoversDevicePort(match.value(QStringLiteral("right"))))
            port = true;
    }
    return accepts && port;
}

std::optional<QString> FindProgram(const QString &name) {
    // A normal user's PATH often lacks the administrator's folders.
    QString path = QStandardPaths::findExecutable(name);
    if (path.isEmpty())
        path = QStandardPaths::findExecutable(
            name, {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")});
    if (path.isEmpty())
        return std::nullopt;
    return path;
}

bool FirewalldRuns() {
    const QStringList processes = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString &pid : processes) {
        if (!pid.front().isDigit())
            continue;
        QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
        if (comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == "firewalld")
            return true;
    }
    return false;
}

bool UfwEnabled() {
    QFile config(QStringLiteral("/etc/ufw/ufw.conf"));
    if (!config.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray &line : config.readAll().split('\n')) {
        if (line.trimmed().toLower() == "enabled=yes")
            return true;
    }
    return false;
}

// What the firewall may do to the replies (why), and the command that lets them in.
QStringList FirewallLines(const TRelynFirewall &firewall, const QString &why) {
    QStringList lines;
    const QString letIn = QCoreApplication::translate(
        "RelynNoReply", "This lets the replies (UDP from port 30718) in:");
    switch (firewall.Kind) {
    case TRelynFirewall::fwNone:
        break;
    case TRelynFirewall::fwNftables:
        lines << QCoreApplication::translate(
                     "RelynNoReply",
                     "This computer's firewall (nftables chain %1) drops what it does "
                     "not accept: ")
                         .arg(firewall.Chain) +
                     why
              << letIn
              << QStringLiteral("  sudo nft insert rule %1 udp sport 30718 accept")
                     .arg(firewall.Chain);
        break;
    case TRelynFirewall::fwFirewalld:
        lines << QCoreApplication::translate("RelynNoReply",
                                             "The firewall firewalld runs on this computer: ") +
                     why
              << letIn << QStringLiteral("  sudo firewall-cmd --add-source-port=30718/udp");
        break;
    case TRelynFirewall::fwUfw:
        lines << QCoreApplication::translate("RelynNoReply",
                                             "The firewall ufw is enabled on this computer: ") +
                     why
              << letIn << QStringLiteral("  sudo ufw allow proto udp from any port 30718");
        break;
    case TRelynFirewall::fwUnknown:
        lines << QCoreApplication::translate("RelynNoReply", "If this computer runs a firewall, ") +
                     why
              << QCoreApplication::translate(
                     "RelynNoReply",
                     "With nftables, this lets the replies (UDP from port 30718) in:")
              << QStringLiteral("  sudo nft insert rule inet filter input udp sport 30718 accept");
        break;
    }
    return lines;
}

} // namespace

QString RelynBlockingChain(const QByteArray &rulesetJson) {
    struct Chain {
        QString Name;
        bool Input = false;
        bool DropsByPolicy = false;
        bool Accepts = false;
        bool EndsInDrop = false;
    };
    std::map<QString, Chain> chains;
    std::vector<QString> order;
    const auto key = [](const QJsonObject &object, const QString &chainField) {
        return object.value(QStringLiteral("family")).toString() + u' ' +
               object.value(QStringLiteral("table")).toString() + u' ' +
               object.value(chainField).toString();
    };
    const QJsonArray items =
        QJsonDocument::fromJson(rulesetJson).object().value(QStringLiteral("nftables")).toArray();
    for (const QJsonValue &item : items) {
        const QJsonObject object = item.toObject();
        if (object.contains(QStringLiteral("chain"))) {
            const QJsonObject chain = object.value(QStringLiteral("chain")).toObject();
            const QString family = chain.value(QStringLiteral("family")).toString();
            const QString name = key(chain, QStringLiteral("name"));
            Chain &entry = chains[name];
            if (entry.Name.isEmpty())
                order.push_back(name);
            entry.Name = name;
            entry.Input =
                chain.value(QStringLiteral("hook")).toString() == QStringLiteral("input") &&
                (family == QStringLiteral("ip") || family == QStringLiteral("inet"));
            entry.DropsByPolicy =
                chain.value(QStringLiteral("policy")).toString() == QStringLiteral("drop");
        } else if (object.contains(QStringLiteral("rule"))) {
            const QJsonObject rule = object.value(QStringLiteral("rule")).toObject();
            const auto found = chains.find(key(rule, QStringLiteral("chain")));
            if (found == chains.end())
                continue;
            const QJsonArray expressions = rule.value(QStringLiteral("expr")).toArray();
            // Only the last rule counts as the chain's end; an earlier catch-all would hide the
            // rest, but then so would it hide the accepting rule after it.
            found->second.EndsInDrop = IsVerdictOnly(expressions, QStringLiteral("drop")) ||
                                       IsVerdictOnly(expressions, QStringLiteral("reject"));
            if (!found->second.EndsInDrop && AcceptsReplies(expressions))
                found->second.Accepts = true;
        }
    }
    for (const QString &name : order) {
        const Chain &chain = chains[name];
        if (chain.Input && (chain.DropsByPolicy || chain.EndsInDrop) && !chain.Accepts)
            return chain.Name;
    }
    return QString();
}

TRelynFirewall RelynCheckFirewall() {
    QString chain;
    bool readable = false;
    if (const auto nft = FindProgram(QStringLiteral("nft"))) {
        QProcess process;
        process.start(*nft,
                      {QStringLiteral("-j"), QStringLiteral("list"), QStringLiteral("ruleset")});
        if (process.waitForFinished(3000) && process.exitStatus() == QProcess::NormalExit &&
            process.exitCode() == 0) {
            readable = true;
            chain = RelynBlockingChain(process.readAllStandardOutput());
        }
    }
    if (readable && chain.isEmpty())
        return {};
    // The services have commands of their own that survive their next reload.
    if (FirewalldRuns())
        return {TRelynFirewall::fwFirewalld, chain};
    if (UfwEnabled())
        return {TRelynFirewall::fwUfw, chain};
    if (readable)
        return {TRelynFirewall::fwNftables, chain};
    return {geteuid() == 0 ? TRelynFirewall::fwNone : TRelynFirewall::fwUnknown, QString()};
}

QStringList RelynNoReplyHint(const QList<TRelynInterface> &asked, const TRelynFirewall &firewall) {
    QStringList lines;
    if (asked.isEmpty()) {
        lines << QCoreApplication::translate(
            "RelynNoReply", "The query went out of the one interface the system chose.");
    } else {
        QStringList names;
        for (const TRelynInterface &interface : asked) {
            QStringList addresses;
            for (const TRelynSubnet &subnet : interface.Subnets)
                addresses << subnet.AddressText();
            names << QStringLiteral("%1 (%2)").arg(interface.Name,
                                                   addresses.join(QStringLiteral(", ")));
        }
        lines << QCoreApplication::translate("RelynNoReply", "Asked on %1.")
                     .arg(names.join(QStringLiteral(", ")));
    }
    lines << FirewallLines(firewall,
                           QCoreApplication::translate(
                               "RelynNoReply",
                               "it cannot match a device's reply to the broadcast query, so it "
                               "may drop the replies and hide the devices."));
    return lines;
}

QStringList RelynRangeNoReplyHint(const QList<TRelynRange> &ranges,
                                  const TRelynFirewall &firewall) {
    const QList<TRelynRange> merged = RelynMergeRanges(ranges);
    qint64 count = 0;
    QStringList spans;
    for (const TRelynRange &range : merged) {
        count += range.Count();
        spans << (range.First == range.Last
                      ? RelynAddressText(range.First)
                      : RelynAddressText(range.First) + u'-' + RelynAddressText(range.Last));
    }
    QStringList lines;
    lines << (count == 1 ? QCoreApplication::translate("RelynNoReply", "Asked the address %1.")
                               .arg(spans.join(QString()))
                         : QCoreApplication::translate("RelynNoReply",
                                                       "Asked the %1 addresses %2 one by one.")
                               .arg(count)
                               .arg(spans.join(QStringLiteral(", "))));
    lines << QCoreApplication::translate(
        "RelynNoReply", "A device answers only at an address of the range, and only when the "
                        "routers on the way pass UDP to and from port 30718.");
    // A direct query's reply is one that a stateful firewall can match, unless it lets in no
    // replies at all.
    lines << FirewallLines(
        firewall,
        QCoreApplication::translate("RelynNoReply",
                                    "unless it lets in the replies to this computer's own queries, "
                                    "it drops the devices' replies and hides the devices."));
    return lines;
}

QStringList RelynSearchNoReplyHint(const TRelynSearchScope &scope,
                                   const QList<TRelynInterface> &asked,
                                   const TRelynFirewall &firewall) {
    return scope.Ranges.isEmpty() ? RelynNoReplyHint(asked, firewall)
                                  : RelynRangeNoReplyHint(scope.Ranges, firewall);
}

QString RelynNoReplyText(const QStringList &hint) {
    return (QStringList{QCoreApplication::translate("RelynNoReply", "No device answered.")} + hint)
        .join(u'\n');
}
