#include "discovery/relyntypenames.h"

#include "discovery/relynerror.h"
#include "discovery/relynpar.h"
#include "support/initext.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
// Bytes are taken as they stand; DecodeValue picks the text encoding.
#define SI_NO_CONVERSION
#include <SimpleIni.h>

namespace {

struct KeyDefault {
    const char *Key;
    const char *Name;
};

constexpr KeyDefault BuiltIn[TRelynTypeNames::KeyCount] = {
    {"Lan", "LAN Adapter"},  {"QV100", "QV+"},        {"QV101", "QV5"},
    {"QV102", "QV6"},        {"Sensor100", "Kx3xx"},  {"Sensor101", "K2206"},
    {"Sensor102", "K1419"},  {"Sensor103", "K6608"},  {"Sensor104", "K6609"},
    {"Sensor105", "K5403"},  {"Sensor106", "K9102"},  {"Sensor107", "K9103"},
    {"Sensor108", "D4207"},  {"Sensor109", "D4208"},  {"Sensor10A", "D4277"},
    {"Sensor10B", "W3615"},  {"Sensor10C", "W7812"},  {"Sensor10D", "W2655"},
    {"Sensor10E", "W2654"},  {"Sensor10F", "W1932"},  {"Sensor110", "W1933"},
    {"Sensor111", "W2655R"}, {"Sensor112", "W3615R"}, {"Sensor113", "W1933R"},
    {"Sensor114", "Sensor"}, {"Sensor115", "Sensor"}, {"Sensor116", "Sensor"},
    {"Sensor117", "Sensor"}, {"Sensor118", "Sensor"}, {"Sensor119", "Sensor"},
    {"Sensor11A", "Sensor"}, {"Sensor11B", "Sensor"}, {"Sensor11C", "Sensor"},
    {"Sensor11D", "Sensor"}, {"Sensor11E", "Sensor"}, {"Sensor11F", "Sensor"},
};

QString SensorKey(int model) {
    return QStringLiteral("Sensor1") +
           QString::number(model, 16).toUpper().rightJustified(2, QLatin1Char('0'));
}

// Settings files written on Linux are UTF-8; older ones carry 8-bit text, read as Latin-1.
QString DecodeValue(const char *value) {
    const QByteArray bytes(value);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(bytes);
    if (utf8.hasError())
        return QString::fromLatin1(bytes);
    return text;
}

} // namespace

TRelynTypeNames::TRelynTypeNames() {
    for (int i = 0; i < KeyCount; ++i)
        Names[i] = DefaultName(i);
}

const QStringList &TRelynTypeNames::Keys() {
    static const QStringList keys = [] {
        QStringList list;
        for (const KeyDefault &entry : BuiltIn)
            list << QString::fromLatin1(entry.Key);
        return list;
    }();
    return keys;
}

QString TRelynTypeNames::DefaultName(int keyIndex) {
    return QString::fromLatin1(BuiltIn[keyIndex].Name);
}

void TRelynTypeNames::LoadFromFile(const QString &path) {
    if (!QFileInfo::exists(path))
        return;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw ERelynError(
            QCoreApplication::translate("RelynTypeNames", "Cannot open file \"%1\". %2")
                .arg(path, file.errorString()));
    const QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw ERelynError(
            QCoreApplication::translate("RelynTypeNames", "Cannot read file \"%1\". %2")
                .arg(path, file.errorString()));

    // Multi-key mode keeps every copy of a repeated key, so the first one read wins, as in the
    // main settings.
    CSimpleIniA ini(false, true, false);
    // The same file as the main settings, so it is read the same way: a UTF-16 file whole, and
    // past any zero byte.
    const QByteArray text = TIniText::Decode(data).Bytes;
    if (ini.LoadData(text.constData(), static_cast<size_t>(text.size())) < 0)
        throw ERelynError(
            QCoreApplication::translate("RelynTypeNames", "Cannot read file \"%1\".").arg(path));
    const char *section = "GlobalTypes";
    if (ini.GetSectionSize(section) < 0)
        return;
    for (int i = 0; i < KeyCount; ++i) {
        const char *value = ini.GetValue(section, BuiltIn[i].Key, nullptr);
        Names[i] = value ? DecodeValue(value) : DefaultName(i);
    }
}

QString TRelynTypeNames::KeyFor(std::uint8_t family, std::uint8_t model) {
    switch (family) {
    case 1:
        switch (model) {
        case 0:
            return QStringLiteral("Sensor100");
        case 1:
            return QStringLiteral("Sensor104");
        case 2:
            return QStringLiteral("Sensor105");
        case 3:
            return QStringLiteral("Sensor107");
        case 4:
            return QStringLiteral("Sensor102");
        case 8:
            return QStringLiteral("Sensor101");
        case 9:
            return QStringLiteral("Sensor103");
        case 10:
            return QStringLiteral("Sensor106");
        default:
            return model >= 11 && model <= 31 ? SensorKey(model) : QString();
        }
    case 2:
        return QStringLiteral("Lan");
    case 3:
        return QStringLiteral("QV100");
    case 4:
        switch (model) {
        case 5:
            return QStringLiteral("Sensor109");
        case 6:
            return QStringLiteral("Sensor10A");
        case 7:
            return QStringLiteral("Sensor108");
        default:
            return QString();
        }
    case 5:
        return QStringLiteral("QV101");
    case 6:
        return QStringLiteral("QV102");
    default:
        return QString();
    }
}

QString TRelynTypeNames::TypeName(std::uint8_t family, std::uint8_t model) const {
    const QString key = KeyFor(family, model);
    return key.isEmpty() ? RelynNotAvailable : Name(key);
}

QString TRelynTypeNames::Name(const QString &key) const {
    const qsizetype index = Keys().indexOf(key, Qt::CaseInsensitive);
    return index < 0 ? RelynNotAvailable : Names[static_cast<size_t>(index)];
}
