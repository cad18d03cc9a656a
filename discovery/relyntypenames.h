// The device type names: one key per family/model entry, each with a built-in default name that
// a names file may replace.
#pragma once

#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>

class TRelynTypeNames {
public:
    // "Lan", three "QV" keys and the 32 keys "Sensor100" to "Sensor11F".
    static constexpr int KeyCount = 36;

    // Fills every entry with its built-in default.
    TRelynTypeNames();

    // Keys in the order they are read from the names file.
    static const QStringList &Keys();
    static QString DefaultName(int keyIndex);

    // Reads the section "GlobalTypes" of a settings file. A missing file or section changes
    // nothing; a present key gives its value (even an empty one), a missing key its default.
    // A file that exists but cannot be read raises ERelynError with the file system's text.
    void LoadFromFile(const QString &path);

    // The key that names the type of a family/model pair, or an empty text when none does.
    static QString KeyFor(std::uint8_t family, std::uint8_t model);
    // The name under that key, or "N/A" when no key fits.
    QString TypeName(std::uint8_t family, std::uint8_t model) const;

    QString Name(const QString &key) const;

private:
    std::array<QString, KeyCount> Names;
};
