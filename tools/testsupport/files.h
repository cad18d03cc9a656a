// Files as tests look at them.
#pragma once

#include <QByteArray>
#include <QString>

namespace testsupport {

// The whole file; empty when it cannot be read, so that a comparison with the expected content
// fails and shows what is missing.
QByteArray ReadFile(const QString &path);

} // namespace testsupport
