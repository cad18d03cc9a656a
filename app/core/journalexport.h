// The journal's history as text for other programs: CSV and JSON with one set of keys.
#pragma once

#include "app/core/journalrecords.h"

#include <QList>
#include <QString>

// CSV (RFC 4180) with a header line of the keys: time, event, mac, name, address,
// new_address, interface, firmware, type, description, changes, file, kind, size, sha256,
// outcome, reason, verification. Texts come from devices and their owners: a cell that a
// spreadsheet would run as a formula gets a leading ', and control characters other than line
// breaks and tabs are written as \xHH.
QString JournalHistoryCsv(const QList<TJournalEntry> &entries);
// An array of objects: time, event, mac, name, address and the keys of the row's kind; C1
// controls as \u escapes, so that the text is harmless on a terminal.
QString JournalHistoryJson(const QList<TJournalEntry> &entries);
