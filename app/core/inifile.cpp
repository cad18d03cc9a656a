#include "app/core/inifile.h"
#include "support/initext.h"
#include "support/inttext.h"
#include "support/savefile.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
// Byte strings only: values are decoded here, so no conversion library is needed.
#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION
#include <SimpleIni.h>

namespace {
// Values are written as UTF-8; a file written elsewhere in a single-byte code page still reads,
// as Latin-1, instead of losing its texts.
QString Decode(const char *bytes) {
    if (!bytes)
        return {};
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(QByteArrayView(bytes));
    if (utf8.hasError())
        return QString::fromLatin1(bytes);
    return text;
}

} // namespace

struct TIniFile::TImpl {
    // Case-insensitive sections and keys, duplicates kept so a rewrite loses nothing.
    CSimpleIniA Ini{false, true, false};
    TIniText Text; // the encoding read, to write back; the fault of the last load
};

TIniFile::TIniFile()
    : FImpl(std::make_unique<TImpl>()) {
    FImpl->Ini.SetSpaces(false);
}

TIniFile::~TIniFile() = default;

TIniFile::TLoadResult TIniFile::Load(const QString &path) {
    FImpl->Ini.Reset();
    FImpl->Text = TIniText();
    QFile file(path);
    if (!file.exists())
        return lrMissing;
    if (!file.open(QIODevice::ReadOnly))
        return lrUnreadable;
    const QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return lrUnreadable;
    FImpl->Text = TIniText::Decode(data);
    const QByteArray &text = FImpl->Text.Bytes;
    if (FImpl->Ini.LoadData(text.constData(), size_t(text.size())) < 0)
        return lrUnreadable;
    return FImpl->Text.Fault.isEmpty() ? lrLoaded : lrPartial;
}

const QString &TIniFile::Fault() const {
    return FImpl->Text.Fault;
}

bool TIniFile::HasSection(const QString &section) const {
    return FImpl->Ini.GetSectionSize(section.toUtf8().constData()) >= 0;
}

std::optional<QString> TIniFile::Value(const QString &section, const QString &key) const {
    const char *value =
        FImpl->Ini.GetValue(section.toUtf8().constData(), key.toUtf8().constData(), nullptr);
    if (!value)
        return std::nullopt;
    return Decode(value);
}

QString TIniFile::ReadString(const QString &section, const QString &key, const QString &def) const {
    return Value(section, key).value_or(def);
}

bool TIniFile::ReadBool(const QString &section, const QString &key, bool def) const {
    const auto text = Value(section, key);
    if (!text)
        return def;
    const auto number = ParseIntText(*text);
    return number ? *number != 0 : def;
}

void TIniFile::WriteString(const QString &section, const QString &key, const QString &value) {
    FImpl->Ini.SetValue(section.toUtf8().constData(), key.toUtf8().constData(),
                        value.toUtf8().constData(), nullptr, true);
}

void TIniFile::WriteBool(const QString &section, const QString &key, bool value) {
    WriteString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

bool TIniFile::Save(const QString &path, QString *error) const {
    std::string text;
    if (FImpl->Ini.Save(text) < 0) {
        if (error)
            *error = QStringLiteral("The settings could not be formatted.");
        return false;
    }
    const QByteArray data = FImpl->Text.Encode(QByteArray::fromStdString(text));
    // A settings file that is a link is written where it points, and the link stays.
    const QFileInfo info(path);
    return SaveFileWhole(info.isSymLink() ? info.symLinkTarget() : path, data, error);
}
