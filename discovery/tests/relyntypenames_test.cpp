#include "discovery/relynerror.h"
#include "discovery/relyntypenames.h"
#include "tools/testsupport/printers.h"

#include <QFile>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QString WriteFile(const QTemporaryDir &dir, const QByteArray &content) {
    const QString path = dir.filePath(QStringLiteral("qlt.ini"));
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
    return path;
}

struct TypeCase {
    int Family;
    int Model;
    const char *Expected;
};

} // namespace

TEST(RelynTypeNames, BuiltInNamesFollowTheFamilyAndModelTable) {
    const TRelynTypeNames names;
    const TypeCase cases[] = {
        {1, 0, "Kx3xx"},   {1, 1, "K6609"},       {1, 2, "K5403"},         {1, 3, "K9103"},
        {1, 4, "K1419"},   {1, 5, "N/A"},         {1, 6, "N/A"},           {1, 7, "N/A"},
        {1, 8, "K2206"},   {1, 9, "K6608"},       {1, 10, "K9102"},        {1, 11, "W3615"},
        {1, 19, "W1933R"}, {1, 20, "Sensor"},     {1, 31, "Sensor"},       {1, 32, "N/A"},
        {1, 255, "N/A"},   {2, 0, "LAN Adapter"}, {2, 200, "LAN Adapter"}, {3, 9, "QV+"},
        {4, 5, "D4208"},   {4, 6, "D4277"},       {4, 7, "D4207"},         {4, 0, "N/A"},
        {4, 8, "N/A"},     {5, 1, "QV5"},         {6, 1, "QV6"},           {0, 0, "N/A"},
        {7, 0, "N/A"},     {255, 0, "N/A"},
    };
    for (const TypeCase &c : cases)
        EXPECT_EQ(names.TypeName(c.Family, c.Model), QString::fromLatin1(c.Expected))
            << "family " << c.Family << " model " << c.Model;
}

TEST(RelynTypeNames, SensorModelsAboveTenUseTheirHexKey) {
    EXPECT_EQ(TRelynTypeNames::KeyFor(1, 11), QStringLiteral("Sensor10B"));
    EXPECT_EQ(TRelynTypeNames::KeyFor(1, 26), QStringLiteral("Sensor11A"));
    EXPECT_EQ(TRelynTypeNames::KeyFor(1, 31), QStringLiteral("Sensor11F"));
    // Every key the mapping can give is one of the table's keys.
    for (int family = 0; family < 8; ++family)
        for (int model = 0; model < 256; ++model) {
            const QString key = TRelynTypeNames::KeyFor(family, model);
            if (!key.isEmpty()) {
                EXPECT_TRUE(TRelynTypeNames::Keys().contains(key)) << key.toStdString();
            }
        }
    EXPECT_EQ(TRelynTypeNames::Keys().size(), TRelynTypeNames::KeyCount);
    QStringList keys = TRelynTypeNames::Keys();
    EXPECT_EQ(keys.removeDuplicates(), 0);
}

TEST(RelynTypeNames, NamesFileReplacesPresentKeysAndRestoresDefaultsOfMissingOnes) {
    QTemporaryDir dir;
    TRelynTypeNames names;
    // A first file renames Kx3xx; the second lacks that key, which must come back to its
    // default rather than keep the name of the first file.
    names.LoadFromFile(WriteFile(dir, "[GlobalTypes]\nSensor100=First\n"));
    EXPECT_EQ(names.TypeName(1, 0), QStringLiteral("First"));

    names.LoadFromFile(WriteFile(dir, "[label]\ncompany=ZARN\n\n"
                                      "[globaltypes]\n"
                                      "  LAN  =  Gateway  \n"
                                      "sensor104=\n"
                                      "SENSOR11F=Last one\n"
                                      "Lan=Repeated\n"));
    EXPECT_EQ(names.TypeName(2, 0), QStringLiteral("Gateway"));
    EXPECT_EQ(names.TypeName(1, 1), QString());
    EXPECT_EQ(names.TypeName(1, 31), QStringLiteral("Last one"));
    EXPECT_EQ(names.TypeName(1, 0), QStringLiteral("Kx3xx"));
    EXPECT_EQ(names.TypeName(3, 0), QStringLiteral("QV+"));
}

TEST(RelynTypeNames, NamesFileWithoutTheSectionOrMissingChangesNothing) {
    QTemporaryDir dir;
    TRelynTypeNames names;
    names.LoadFromFile(WriteFile(dir, "[GlobalTypes]\nLan=Bridge\n"));
    names.LoadFromFile(WriteFile(dir, "[Global]\nLan=Other\n"));
    EXPECT_EQ(names.TypeName(2, 0), QStringLiteral("Bridge"));
    names.LoadFromFile(dir.filePath(QStringLiteral("missing.ini")));
    EXPECT_EQ(names.TypeName(2, 0), QStringLiteral("Bridge"));
}

TEST(RelynTypeNames, NamesAreReadAsUtf8OrElseAsLatin1) {
    QTemporaryDir dir;
    TRelynTypeNames names;
    names.LoadFromFile(WriteFile(dir, "[GlobalTypes]\nLan=Br\xc3\xbc"
                                      "cke\nQV100=M\xfc"
                                      "ller\n"));
    EXPECT_EQ(names.TypeName(2, 0), QStringLiteral("Br\u00fccke"));
    EXPECT_EQ(names.TypeName(3, 0), QStringLiteral("M\u00fcller"));

    // The settings file as a Windows editor saves "Unicode", and one with a zero byte inside.
    QStringEncoder utf16(QStringEncoder::Utf16LE, QStringEncoder::Flag::WriteBom);
    names.LoadFromFile(WriteFile(dir, utf16(u"[label]\r\ncompany=ZARN\r\n[GlobalTypes]\r\n"
                                            "Lan=Mostík\r\nQV100=Měřič\r\n")));
    EXPECT_EQ(names.TypeName(2, 0), QStringLiteral("Mostík"));
    EXPECT_EQ(names.TypeName(3, 0), QStringLiteral("Měřič"));
    names.LoadFromFile(WriteFile(dir, QByteArray("[GlobalTypes]\nQV100=A\n\0Lan=B\n", 29)));
    EXPECT_EQ(names.TypeName(2, 0), QStringLiteral("B"));
}

TEST(RelynTypeNames, UnreadableNamesFileRaisesTheFileSystemsError) {
    QTemporaryDir dir;
    TRelynTypeNames names;
    // A folder stands in for a file that exists but cannot be read, also when run as root.
    try {
        names.LoadFromFile(dir.path());
        FAIL() << "no error raised";
    } catch (const ERelynError &error) {
        EXPECT_TRUE(error.Text.contains(dir.path())) << error.what();
    }
    EXPECT_EQ(names.TypeName(2, 0), QStringLiteral("LAN Adapter"));
}
