#include "app/workflows/webfilecheck.h"

#include "packer/webfile.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <string>
#include <string_view>

namespace {
// Magic, 256 records with the longest names, the end byte and 256 full entries.
constexpr qint64 MaxWebFileSize = webfile::kMagic.size() +
                                  webfile::kMaxEntries * (7 + webfile::kMaxNameLength) + 1 +
                                  webfile::kMaxEntries * webfile::kMaxStoredSize;

QString Refusal(const QString &path, const std::string &reason) {
    // The reader's words may begin with the very verdict this line gives.
    constexpr std::string_view verdict = "not a web file: ";
    std::string_view why = reason;
    if (why.starts_with(verdict))
        why.remove_prefix(verdict.size());
    return QCoreApplication::translate("TWebFileCheck", "%1 is not a web file: %2.")
        .arg(QFileInfo(path).fileName(), QString::fromUtf8(why.data(), why.size()));
}
} // namespace

QString WebFileRefusal(const QString &path) {
    QFile file(path);
    // What cannot be read cannot be sent either; the client says so in the upload's own words.
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const qint64 size = file.size();
    if (size > MaxWebFileSize)
        return Refusal(
            path, QCoreApplication::translate("TWebFileCheck",
                                              "longer than %1 bytes, the most a web file can hold")
                      .arg(MaxWebFileSize)
                      .toStdString());
    // Mapped, the reader pages in only the directory it walks, never the stored bytes.
    QByteArray read;
    std::string_view bytes;
    if (const uchar *mapped = size > 0 ? file.map(0, size) : nullptr) {
        bytes = std::string_view(reinterpret_cast<const char *>(mapped),
                                 static_cast<std::size_t>(size));
    } else {
        read = file.readAll();
        bytes = std::string_view(read.constData(), static_cast<std::size_t>(read.size()));
    }
    const webfile::ParseResult parsed = webfile::parse(bytes);
    return parsed.ok() ? QString() : Refusal(path, parsed.error);
}
