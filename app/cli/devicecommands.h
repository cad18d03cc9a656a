// The commands that reach devices: search, uploads, IP change, and what they print.
#pragma once

#include "app/cli/commandparser.h"
#include "discovery/relyndevicelist.h"
#include "discovery/relynnoreply.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

class TJournalRecorder;

namespace cli {

int searchCommand(const CommandCall &call);
int uploadWebCommand(const CommandCall &call);
int uploadFirmwareCommand(const CommandCall &call);
int changeIpCommand(const CommandCall &call);
int rescueCommand(const CommandCall &call);

// Rows of cells in columns two blanks apart, measured in characters.
std::string alignedRows(const std::vector<std::vector<std::string>> &rows);

// Records in ascending address order (arrival order when an address cannot be compared).
QList<TRelynPar> sortedByAddress(const QList<TRelynPar> &records);

// One device a line: address, MAC address, firmware, type, description, in aligned columns.
std::string deviceTable(const QList<TRelynPar> &records);
// An array of objects with the keys ip, mac, firmware, type, description, interface,
// reachable.
std::string deviceJson(const QList<TRelynPar> &records);
// CSV (RFC 4180) with a header line of the JSON keys; a cell that a spreadsheet would run as a
// formula gets a leading '.
std::string deviceCsv(const QList<TRelynPar> &records);

// What follows a search on standard error: why nothing answered (the interfaces or addresses
// asked, a firewall that may drop the replies), and the sends that a range search could not
// make. The firewall is looked at only when nothing answered.
void printSearchNotes(const TRelynSearchOutcome &outcome, const TRelynSearchScope &scope,
                      std::ostream &err,
                      const std::function<TRelynFirewall()> &firewall = RelynCheckFirewall);

// An address a device can be reached at: four decimal numbers. Names are refused, so that
// nothing is ever looked up by name.
bool isDottedAddress(const QString &text);

enum class UploadKind { Web, Firmware };

struct UploadJob {
    QString address;
    QString outcome; // "done", "upload time-out", "no answer", ...
    bool done = false;
    QString reason; // why it did not reach "done", or what the check found, in plain words
    // The check over HTTP after a web upload: "verified", "differs", "not verified",
    // "cancelled"; empty when there was none.
    QString verified = {};
    bool failed() const { return !done || verified == QStringLiteral("differs"); }
};

// Uploads one file to every address side by side in the running event loop, at most parallel
// transfers at once; with more than one address each line is prefixed with its address. A web
// upload that ends done is then checked over HTTP unless verify is false. Returns each
// device's outcome in the order given, once every upload has finished. Each upload goes into
// the journal when a recorder is given.
QList<UploadJob> uploadToAll(UploadKind kind, const QString &file, const QStringList &addresses,
                             std::ostream &out, std::ostream &err, bool verify = true,
                             int parallel = 64,
                             const std::shared_ptr<TJournalRecorder> &recorder = {});

// The summary table that ends a fleet upload.
std::string uploadSummary(const QList<UploadJob> &jobs);
// After a run with failures, the one command line that uploads the file again to exactly the
// devices that did not end done or serve other pages; empty when there are none.
std::string retryCommand(UploadKind kind, const QString &file, const QList<UploadJob> &jobs);

} // namespace cli
