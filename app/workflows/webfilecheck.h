// The layout check a file passes before it is sent as a web file: the same reader that
// "quillet-cli webfile list" uses, so that a device never gets a file that list would refuse.
#pragma once

#include <QString>

// Empty when the file at path is a consistent web file, or one that cannot be opened; otherwise
// the line that names the file and what is wrong with it, e.g. "index.htm is not a web file:
// truncated ...".
// A file longer than any web file can be is refused unread; of the others only the directory
// is read where the file can be mapped.
QString WebFileRefusal(const QString &path);
