#include "tools/testsupport/files.h"

#include "packer/webfile.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <string>
#include <vector>

namespace testsupport {

QByteArray ReadFile(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray RandomWebFile(int bytes) {
    std::vector<webfile::Entry> entries;
    for (int left = bytes; left > 0 && entries.size() < webfile::kMaxEntries;) {
        const int size = std::min<int>(left, static_cast<int>(webfile::kMaxStoredSize));
        std::string stored(static_cast<std::size_t>(size), '\0');
        for (char &byte : stored)
            byte = static_cast<char>(QRandomGenerator::global()->bounded(256));
        entries.push_back({"part" + std::to_string(entries.size() + 1), std::move(stored)});
        left -= size;
    }
    const std::string web = *webfile::build(entries);
    return QByteArray(web.data(), static_cast<qsizetype>(web.size()));
}

QString WriteWebFile(const QTemporaryDir &dir, const char *name,
                     const std::vector<webfile::Entry> &entries) {
    const QString path = dir.filePath(QString::fromLatin1(name));
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(QByteArray::fromStdString(webfile::build(entries).value()));
    return path;
}

} // namespace testsupport
