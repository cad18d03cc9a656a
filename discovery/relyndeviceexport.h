// The device list as text for other programs: CSV and JSON with the keys quillet-cli writes, and
// tab-separated lines for the clipboard.
#pragma once

#include "discovery/relynpar.h"

#include <QList>
#include <QString>

// An array of objects with the keys ip, mac, firmware, type, description, interface,
// reachable; C1 controls written as \u escapes, so that the text is harmless on a terminal.
QString RelynDevicesJson(const QList<TRelynPar> &records);
// CSV (RFC 4180) with a header line of the JSON keys; a cell that a spreadsheet would run as a
// formula gets a leading ', and control characters become "?" as in the text output, so that
// neither a spreadsheet nor a terminal acts on what a device sent.
QString RelynDevicesCsv(const QList<TRelynPar> &records);
// One line a device under a header line of the given captions, cells joined by tabs; tabs and
// line breaks inside a cell become blanks, so that every row stays one row when pasted; the
// formula rule of the CSV applies too.
QString RelynDevicesTsv(const QList<TRelynPar> &records, const QStringList &captions);
// The cells of a record in the order of the keys and of the Devices window's columns: address,
// MAC address, firmware, type, description, interface.
QStringList RelynDeviceCells(const TRelynPar &record);
