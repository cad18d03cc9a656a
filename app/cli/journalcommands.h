// The site journal on the console: the history command, the changes a search found, and the
// --no-journal option of every command that records.
#pragma once

#include "app/cli/commandparser.h"
#include "app/core/journalrecords.h"

#include <QList>
#include <memory>
#include <ostream>
#include <string>

class TJournalRecorder;

namespace cli {

int historyCommand(const CommandCall &call);

void addNoJournalOption(CommandParser &command);
// The recorder of the call's journal; one that records nothing with --no-journal.
std::shared_ptr<TJournalRecorder> journalRecorder(const CommandCall &call, CommandParser &command);
// What the journal had to say (a file it could not write, one kept beside) on standard error.
void printJournalMessages(TJournalRecorder &recorder, std::ostream &err);

// One line per device: "new", "moved", "firmware changed" or "gone", then the device's texts
// and what they were before.
std::string changesTable(const QList<TJournalMarked> &marks);
// An array of objects: changes (an array of those words), mac, ip, previous_ip, firmware,
// previous_firmware, type, description, interface.
std::string changesJson(const QList<TJournalMarked> &marks);

} // namespace cli
