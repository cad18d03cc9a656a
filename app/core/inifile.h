// An INI settings file read into memory whole and written back whole, unknown content kept.
#pragma once

#include <QString>
#include <memory>
#include <optional>

class TIniFile {
public:
    // lrPartial: read as far as it could be (see Fault()); rewriting it would lose the rest.
    enum TLoadResult { lrLoaded, lrMissing, lrUnreadable, lrPartial };

    TIniFile();
    ~TIniFile();
    TIniFile(const TIniFile &) = delete;
    TIniFile &operator=(const TIniFile &) = delete;

    // Replaces the content with the file's. A missing file reads as empty. UTF-8 with or
    // without a byte-order mark and UTF-16 with one are read; Save writes the same encoding.
    TLoadResult Load(const QString &path);
    // Why the last Load read less than the whole file; empty when it read it all.
    const QString &Fault() const;

    bool HasSection(const QString &section) const;
    std::optional<QString> Value(const QString &section, const QString &key) const;
    QString ReadString(const QString &section, const QString &key, const QString &def) const;
    // Any non-zero number is true; a value that is not a number gives the default.
    bool ReadBool(const QString &section, const QString &key, bool def) const;

    void WriteString(const QString &section, const QString &key, const QString &value);
    void WriteBool(const QString &section, const QString &key, bool value);

    // Writes a temporary file beside the target and renames it into place, so a failed save
    // leaves the previous file as it was. Returns false with a reason on failure.
    bool Save(const QString &path, QString *error = nullptr) const;

private:
    struct TImpl;
    std::unique_ptr<TImpl> FImpl;
};
