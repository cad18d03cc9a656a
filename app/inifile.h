// An INI settings file read into memory whole and written back whole, unknown content kept.
#pragma once

#include <QString>
#include <memory>
#include <optional>

class TIniFile {
public:
    enum TLoadResult { lrLoaded, lrMissing, lrUnreadable };

    TIniFile();
    ~TIniFile();
    TIniFile(const TIniFile &) = delete;
    TIniFile &operator=(const TIniFile &) = delete;

    // Replaces the content with the file's. A missing file reads as empty.
    TLoadResult Load(const QString &path);

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

