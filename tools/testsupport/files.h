// Files as tests look at them.
#pragma once

#include "packer/webfile.h"

#include <QByteArray>
#include <QString>

#include <vector>

class QTemporaryDir;

namespace testsupport {

// The whole file; empty when it cannot be read, so that a comparison with the expected content
// fails and shows what is missing.
QByteArray ReadFile(const QString &path);

// A consistent web file of random entries, about this many bytes long: what an upload accepts,
// with content no other test file shares.
QByteArray RandomWebFile(int bytes);

// The web file of these entries written into the folder; its path.
QString WriteWebFile(const QTemporaryDir &dir, const char *name,
                     const std::vector<webfile::Entry> &entries);

} // namespace testsupport
