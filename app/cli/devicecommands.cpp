#include "app/cli/devicecommands.h"

#include "app/cli/consolereport.h"
#include "app/cli/interruptwatch.h"
#include "app/workflows/fleetupload.h"
#include "discovery/relyndeviceexport.h"
#include "discovery/relynnoreply.h"
#include "ipassign/relynipchange.h"
#include "support/nethelpers.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QRegularExpression>
#include <QThread>
#include <algorithm>
#include <memory>

namespace cli {

namespace {

std::string alignedRows(const std::vector<std::vector<std::string>> &rows) {
    std::vector<std::size_t> widths;
    for (const auto &row : rows) {
        widths.resize(std::max(widths.size(), row.size()));
        for (std::size_t i = 0; i < row.size(); ++i) {
            // Columns are measured in characters, not bytes.
            widths[i] = std::max(widths[i],
                                 static_cast<std::size_t>(QString::fromStdString(row[i]).size()));
        }
    }
    std::string text;
    for (const auto &row : rows) {
        std::string line;
        for (std::size_t i = 0; i < row.size(); ++i) {
            line += row[i];
            if (i + 1 < row.size()) {
                line.append(widths[i] - QString::fromStdString(row[i]).size() + 2, ' ');
            }
        }
        while (!line.empty() && line.back() == ' ') {
            line.pop_back();
        }
        text += line + '\n';
    }
    return text;
}

bool severalInterfaces(const QList<TRelynPar> &records) {
    return std::any_of(records.begin(), records.end(), [&](const TRelynPar &r) {
        return r.Interface != records.first().Interface;
    });
}

// The last cell of a device's line: the interface when devices answered on several, and how
// to reach a device that this computer cannot.
QString whereNote(const TRelynPar &record, bool showInterface) {
    QStringList note;
    if (showInterface) {
        note << QStringLiteral("on %1").arg(record.Interface);
    }
    if (!record.Reachable) {
        note << QStringLiteral("UNREACHABLE from %1 (%2): give it an address there with "
                               "change-ip")
                    .arg(record.Interface, record.Network);
    }
    return note.join(QStringLiteral("  "));
}

} // namespace

std::string deviceCsv(const QList<TRelynPar> &records) {
    return RelynDevicesCsv(records).toStdString();
}

void printSearchNotes(const TRelynSearchOutcome &outcome, bool rangeSearch, std::ostream &err) {
    for (const QString &line : outcome.Skipped) {
        err << "quillet-cli: " << printable(line, Tabs::Replace) << '\n';
    }
    if (outcome.RefusedSends > 0) {
        err << "quillet-cli: the system refused " << outcome.RefusedSends
            << (outcome.RefusedSends == 1 ? " send" : " sends")
            << " of the range search (no route or no neighbour)\n";
    }
    if (!outcome.Devices.isEmpty() || rangeSearch) {
        return;
    }
    for (const QString &line : RelynNoReplyHint(outcome.Asked, RelynCheckFirewall())) {
        err << line.toStdString() << '\n';
    }
}

QList<TRelynPar> sortedByAddress(const QList<TRelynPar> &records) {
    TRelynDeviceList list;
    list.Assign(records);
    try {
        list.SortBy(rcIPAddress);
    } catch (const std::exception &) {
        // The sort leaves the rows as they were: arrival order.
    }
    return list.Records();
}

std::string deviceTable(const QList<TRelynPar> &records) {
    std::vector<std::vector<std::string>> rows;
    const bool showInterface = severalInterfaces(records);
    for (const TRelynPar &r : records) {
        rows.push_back({printable(r.IPAddress), printable(r.MACAddress), printable(r.Firmware),
                        printable(r.DeviceType), printable(r.Description),
                        printable(whereNote(r, showInterface))});
    }
    return alignedRows(rows);
}

std::string deviceJson(const QList<TRelynPar> &records) {
    return RelynDevicesJson(records).toStdString();
}

bool isDottedAddress(const QString &text) {
    static const QRegularExpression form(
        QStringLiteral("^(25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9]?[0-9])"
                       "(\\.(25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9]?[0-9])){3}$"));
    return form.match(text).hasMatch();
}

std::optional<TRelynPar> findDeviceAt(const TRelynSearchFunction &search, const QString &mac,
                                      const QString &address, int waitMs) {
    const QString wantedMac = RelynCanonicalMac(mac);
    QString wantedAddress = address;
    NormalizeIPText(wantedAddress);
    // A search collects replies for a moment of its own; the pause keeps a quick failure (no
    // interface yet after the change) from spinning.
    constexpr int PauseMs = 200;
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        try {
            for (const TRelynPar &record : search(QString())) {
                QString recordAddress = record.IPAddress;
                if (NormalizeIPText(recordAddress) && recordAddress == wantedAddress &&
                    RelynCanonicalMac(record.MACAddress) == wantedMac) {
                    return record;
                }
            }
        } catch (const std::exception &) {
            // Tried again until the time is up.
        }
        const qint64 left = waitMs - clock.elapsed();
        if (left <= 0) {
            return std::nullopt;
        }
        QThread::msleep(static_cast<unsigned long>(std::min<qint64>(left, PauseMs)));
    }
}

QList<UploadJob> uploadToAll(UploadKind kind, const QString &file, const QStringList &addresses,
                             std::ostream &out, std::ostream &err) {
    const bool prefixed = addresses.size() > 1;
    qsizetype width = 0;
    for (const QString &address : addresses) {
        width = std::max(width, address.size());
    }
    TFleetUpload fleet;
    fleet.SetReportFactory([&](int, const QString &address) {
        const std::string prefix =
            prefixed ? (address.leftJustified(width) + QStringLiteral("  ")).toStdString()
                     : std::string();
        return std::make_unique<ConsoleReport>(out, err, prefix);
    });
    QEventLoop loop;
    bool finished = false;
    QObject::connect(&fleet, &TFleetUpload::AllFinished, &loop, [&finished, &loop] {
        finished = true;
        loop.quit();
    });
    fleet.Start(kind == UploadKind::Web ? TFleetUpload::fkWeb : TFleetUpload::fkFirmware, file,
                addresses);
    if (!finished) {
        // Ctrl+C stops every transfer and restart wait still going, and the summary tells which
        // devices it caught.
        const InterruptWatch watch([&fleet, &err] {
            err << "quillet-cli: interrupted; stopping the uploads" << std::endl;
            fleet.Cancel();
        });
        loop.exec();
    }
    QList<UploadJob> jobs;
    for (const TFleetDevice &device : fleet.Devices()) {
        jobs.append({device.Address, TFleetUpload::OutcomeText(device.Outcome),
                     device.Outcome == TDeviceUpload::uoDone, device.Reason});
    }
    return jobs;
}

std::string retryCommand(UploadKind kind, const QString &file, const QList<UploadJob> &jobs) {
    // Quoted for a POSIX shell, so that the line can be pasted as it is.
    const auto quoted = [](const QString &word) {
        static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_./:@%+=,-]+$"));
        if (plain.match(word).hasMatch())
            return word;
        return u'\'' + QString(word).replace(u'\'', QStringLiteral("'\\''")) + u'\'';
    };
    QStringList words{QStringLiteral("quillet-cli"),
                      kind == UploadKind::Web ? QStringLiteral("upload-web")
                                              : QStringLiteral("upload-fw"),
                      quoted(file)};
    const qsizetype fixed = words.size();
    for (const UploadJob &job : jobs) {
        if (!job.done)
            words << job.address;
    }
    if (words.size() == fixed)
        return {};
    return "To try the failed devices again: " + printable(words.join(u' ')) + '\n';
}

std::string uploadSummary(const QList<UploadJob> &jobs) {
    const bool reasons = std::any_of(jobs.begin(), jobs.end(),
                                     [](const UploadJob &job) { return !job.reason.isEmpty(); });
    std::vector<std::vector<std::string>> rows{{"ADDRESS", "OUTCOME"}};
    if (reasons) {
        rows.front().push_back("REASON");
    }
    qsizetype done = 0;
    for (const UploadJob &job : jobs) {
        rows.push_back({job.address.toStdString(), job.outcome.toStdString()});
        if (reasons) {
            rows.back().push_back(printable(job.reason));
        }
        done += job.done ? 1 : 0;
    }
    return alignedRows(rows) +
           TFleetUpload::SummaryLine(static_cast<int>(done), static_cast<int>(jobs.size()))
               .toStdString() +
           '\n';
}

} // namespace cli
