// Branding, mode, folders and the settings file of Quillet's start and exit.
#include "app/core/deviceswindowstate.h"
#include "app/core/inifile.h"
#include "app/core/language.h"
#include "app/core/responsivedelay.h"
#include "app/core/startup.h"
#include "support/inttext.h"
#include "tools/testsupport/printers.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <gtest/gtest.h>
#include <map>
#include <sys/mount.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {
class StartupTest : public ::testing::Test {
protected:
    QTemporaryDir FTemp;
    QString FProgram;

    void SetUp() override {
        ASSERT_TRUE(FTemp.isValid());
        FProgram = FTemp.filePath(u"program/"_s);
        QDir().mkpath(FProgram);
    }

    TStartupInputs Inputs(QStringList arguments = {}) const {
        TStartupInputs inputs;
        inputs.ProgramFolder = FProgram;
        inputs.Arguments = arguments;
        inputs.CommonDataRoot = FTemp.filePath(u"common"_s);
        inputs.LocalDataRoot = FTemp.filePath(u"local"_s);
        inputs.DocumentsRoot = FTemp.filePath(u"documents"_s);
        return inputs;
    }

    void WriteIni(const QByteArray &content) const {
        QFile file(FProgram + u"qlt.ini"_s);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
    }

    QByteArray ReadIni() const {
        QFile file(FProgram + u"qlt.ini"_s);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
};
} // namespace

TEST(BrandFolder, MakerNameForTheMakerAndForUnsafeBrands) {
    const QString maker = u"BrimoLoggers"_s;
    for (const QString &brand :
         {u"BRIMO"_s, u"brimo"_s, u"Brimo"_s, QString(), u"A:B"_s, u"a\"b"_s, u"a*b"_s, u"a/b"_s,
          u"a<b"_s, u"a>b"_s, u"a?b"_s, u"a\\b"_s, u"a|b"_s, QString(256, u'Z')})
        EXPECT_EQ(TStartup::BrandFolderFor(brand), maker) << brand.toStdString();
    EXPECT_EQ(TStartup::BrandFolderFor(u"ZARN"_s), u"ZARN"_s);
    EXPECT_EQ(TStartup::BrandFolderFor(u"zarn"_s), u"zarn"_s); // kept unchanged
    EXPECT_EQ(TStartup::BrandFolderFor(QString(255, u'Z')), QString(255, u'Z'));
    // Only a to z are upper-cased for the comparison.
    EXPECT_EQ(TStartup::BrandFolderFor(u"brımo"_s), u"brımo"_s);
}

TEST(UiLanguage, ArgumentThenSettingThenTheLocale) {
    const auto choose = [](QStringList arguments, const char *setting,
                           std::map<std::string, QString> environment) {
        return ChooseUiLanguage(arguments, QString::fromLatin1(setting),
                                [&environment](const char *name) { return environment[name]; });
    };
    using enum TUiLanguage;
    EXPECT_EQ(choose({}, "", {}), English);
    EXPECT_EQ(choose({}, "", {{"LANG", u"cs_CZ.UTF-8"_s}}), Czech);
    EXPECT_EQ(choose({}, "", {{"LANG", u"de_DE.UTF-8"_s}}), English);
    // LC_ALL, then LC_MESSAGES, then LANG: the first that is set decides.
    EXPECT_EQ(choose({}, "", {{"LANG", u"cs_CZ.UTF-8"_s}, {"LC_MESSAGES", u"C"_s}}), English);
    EXPECT_EQ(choose({}, "", {{"LC_ALL", u"cs_CZ"_s}, {"LC_MESSAGES", u"C"_s}}), Czech);
    EXPECT_EQ(choose({}, "cs", {{"LANG", u"C"_s}}), Czech);
    EXPECT_EQ(choose({}, "xx", {{"LANG", u"cs_CZ"_s}}), Czech); // a setting not understood
    EXPECT_EQ(choose({u"--language"_s, u"en"_s}, "cs", {{"LANG", u"cs_CZ"_s}}), English);
    EXPECT_EQ(choose({u"-brimo"_s, u"--language=cs"_s}, "en", {}), Czech);
}

TEST(Mode, FirstArgumentOnlyAnyCase) {
    EXPECT_FALSE(TStartup::InternalModeFor({}));
    EXPECT_FALSE(TStartup::InternalModeFor({u"-x"_s}));
    EXPECT_FALSE(TStartup::InternalModeFor({u"brimo"_s}));
    EXPECT_FALSE(TStartup::InternalModeFor({u"-x"_s, u"-brimo"_s}));
    EXPECT_FALSE(TStartup::InternalModeFor({u"-brimo2"_s}));
    EXPECT_TRUE(TStartup::InternalModeFor({u"-brimo"_s}));
    EXPECT_TRUE(TStartup::InternalModeFor({u"-BRIMO"_s, u"-x"_s}));
    EXPECT_TRUE(TStartup::InternalModeFor({u"-BrImO"_s}));
}

TEST(Caption, NameVersionAndInternalMark) {
    EXPECT_EQ(TStartup::VersionText(), u"1.2.0.0"_s);
    EXPECT_EQ(TStartup::CaptionFor(u"Quillet"_s, u"1.2.0.0"_s, false), u"Quillet - 1.2.0.0"_s);
    EXPECT_EQ(TStartup::CaptionFor(u"Quillet"_s, u"1.2.0.0"_s, true),
              u"Quillet - 1.2.0.0 [Brimo internal]"_s);
    EXPECT_EQ(TStartup::CaptionFor(u"Q"_s, QString(), false), u"Q - "_s);
}

TEST_F(StartupTest, DefaultsWithoutSettingsFile) {
    TStartup startup(Inputs());
    EXPECT_EQ(startup.Brand(), u"BRIMO"_s);
    EXPECT_EQ(startup.AppName(), u"Quillet"_s);
    EXPECT_EQ(startup.BrandFolder(), u"BrimoLoggers"_s);
    EXPECT_FALSE(startup.InternalMode());
    EXPECT_EQ(startup.Caption(), u"Quillet - 1.2.0.0"_s);
    EXPECT_EQ(startup.IniPath(), FProgram + u"qlt.ini"_s);
    EXPECT_EQ(startup.LogPath(), FProgram + u"qlt.log"_s);
    const TUserSettings loaded = startup.LoadSettings();
    EXPECT_EQ(loaded.DirInName, FProgram);
    EXPECT_EQ(loaded.WebFile, FProgram + u"pmf/"_s);
    EXPECT_EQ(loaded.FWFile, QString());
    EXPECT_TRUE(loaded.BakDel);
}

TEST_F(StartupTest, BrandingFromTheLabelSection) {
    WriteIni("; hand-edited\n[LABEL]\n  Company = ZARN  \nappname=Gauge Tool\n");
    TStartup startup(Inputs({u"-brimo"_s}));
    EXPECT_EQ(startup.Brand(), u"ZARN"_s);
    EXPECT_EQ(startup.AppName(), u"Gauge Tool"_s);
    EXPECT_EQ(startup.BrandFolder(), u"ZARN"_s);
    EXPECT_EQ(startup.Caption(), u"Gauge Tool - 1.2.0.0 [Brimo internal]"_s);

    WriteIni("[label]\ncompany=\n");
    TStartup empty(Inputs());
    EXPECT_EQ(empty.Brand(), QString());
    EXPECT_EQ(empty.BrandFolder(), u"BrimoLoggers"_s);
    EXPECT_EQ(empty.AppName(), u"Quillet"_s);

    WriteIni("[other]\ncompany=ZARN\n");
    EXPECT_EQ(TStartup(Inputs()).Brand(), u"BRIMO"_s);
}

TEST_F(StartupTest, DataFolderFallsBackToTheUsersOwn) {
    WriteIni("[label]\ncompany=ZARN\nappname=Q\n");
    TStartup common(Inputs());
    common.CreateFolders();
    EXPECT_EQ(common.DataFolder(), FTemp.filePath(u"common/ZARN/Q/"_s));
    EXPECT_TRUE(QDir(common.DataFolder()).exists());
    EXPECT_FALSE(QFile::exists(common.DataFolder() + u"test.txt"_s));
    EXPECT_EQ(common.DocumentsFolder(), FTemp.filePath(u"documents/ZARN/Q/"_s));
    EXPECT_TRUE(QDir(common.DocumentsFolder()).exists());

    // A file where the all-users folder should be: it cannot be created.
    QFile blocker(FTemp.filePath(u"blocked"_s));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    TStartupInputs inputs = Inputs();
    inputs.CommonDataRoot = blocker.fileName();
    TStartup fallback(inputs);
    fallback.CreateFolders();
    EXPECT_EQ(fallback.DataFolder(), FTemp.filePath(u"local/ZARN/Q/"_s));
    EXPECT_TRUE(QDir(fallback.DataFolder()).exists());

    inputs.CommonDataRoot.clear();
    TStartup none(inputs);
    none.CreateFolders();
    EXPECT_EQ(none.DataFolder(), FTemp.filePath(u"local/ZARN/Q/"_s));
}

TEST_F(StartupTest, ReadOnlyCommonFolderIsNotTaken) {
    if (geteuid() == 0)
        GTEST_SKIP() << "root writes into read-only folders";
    const QString common = FTemp.filePath(u"common/BrimoLoggers/Quillet/"_s);
    QDir().mkpath(common);
    QFile::setPermissions(common, QFile::ReadOwner | QFile::ExeOwner);
    TStartup startup(Inputs());
    startup.CreateFolders();
    EXPECT_EQ(startup.DataFolder(), FTemp.filePath(u"local/BrimoLoggers/Quillet/"_s));
    QFile::setPermissions(common, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

TEST_F(StartupTest, LoadRulesPerSection) {
    WriteIni("[PATHS]\nFWFile=/fw/x.rom\n[Global]\n");
    TUserSettings loaded = TStartup(Inputs()).LoadSettings();
    EXPECT_EQ(loaded.WebFile, QString()); // the section exists, so no start value
    EXPECT_EQ(loaded.FWFile, u"/fw/x.rom"_s);
    EXPECT_EQ(loaded.DirInName, FProgram);
    EXPECT_TRUE(loaded.BakDel);

    const std::pair<const char *, bool> bools[] = {{"0", false},  {"1", true},   {"2", true},
                                                   {"-1", true},  {"$0", false}, {"0x10", true},
                                                   {"abc", true}, {"", true},    {" 0", false}};
    for (const auto &[text, expected] : bools) {
        WriteIni(QByteArray("[Global]\nBat=") + text + "\n");
        EXPECT_EQ(TStartup(Inputs()).LoadSettings().BakDel, expected) << text;
    }
}

TEST_F(StartupTest, SettingsSurviveTwoRunsAndKeepTheRestOfTheFile) {
    WriteIni("[label]\ncompany=ZARN\nappname=Quillet\n"
             "[GlobalTypes]\n0102=Gauge\n0102=Duplicate\n"
             "[PATHS]\nWebFile=old\nExtra=kept\n");
    TUserSettings settings;
    settings.WebFile = u"/data/pmf/Site/site_ZA_7.pmf"_s;
    settings.FWFile = u"/fw/žluťoučký kůň.rom"_s;
    settings.DirInName = u"/sites/with = sign/"_s;
    settings.BakDel = false;
    settings.DeviceAddress = u"192.0.2.11"_s;
    QString error;
    ASSERT_TRUE(TStartup(Inputs()).SaveSettings(settings, &error)) << error.toStdString();
    EXPECT_EQ(TStartup(Inputs()).LoadSettings(), settings);

    settings.BakDel = true;
    ASSERT_TRUE(TStartup(Inputs()).SaveSettings(settings));
    EXPECT_EQ(TStartup(Inputs()).LoadSettings(), settings);

    TIniFile ini;
    ASSERT_EQ(ini.Load(FProgram + u"qlt.ini"_s), TIniFile::lrLoaded);
    EXPECT_EQ(ini.ReadString(u"label"_s, u"company"_s, {}), u"ZARN"_s);
    EXPECT_EQ(ini.ReadString(u"GlobalTypes"_s, u"0102"_s, {}), u"Gauge"_s);
    EXPECT_EQ(ini.ReadString(u"PATHS"_s, u"Extra"_s, {}), u"kept"_s);
    EXPECT_TRUE(ReadIni().contains("0102=Duplicate"));
    EXPECT_TRUE(ReadIni().contains("Bat=1"));
    EXPECT_TRUE(ReadIni().contains("LastIP=192.0.2.11"));
    EXPECT_EQ(QDir(FProgram).entryList(QDir::Files), QStringList{u"qlt.ini"_s});
}

TEST_F(StartupTest, SaveWritesThroughALinkedSettingsFile) {
    QDir().mkpath(FTemp.filePath(u"shared"_s));
    const QString real = FTemp.filePath(u"shared/qlt.ini"_s);
    QFile file(real);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[label]\ncompany=ZARN\n");
    file.close();
    ASSERT_TRUE(QFile::link(real, FProgram + u"qlt.ini"_s));
    TStartup startup(Inputs());
    EXPECT_EQ(startup.Brand(), u"ZARN"_s);
    ASSERT_TRUE(startup.SaveSettings(startup.LoadSettings()));
    EXPECT_TRUE(QFileInfo(FProgram + u"qlt.ini"_s).isSymLink());
    EXPECT_TRUE(ReadIni().contains("[PATHS]"));
    EXPECT_TRUE(ReadIni().contains("company=ZARN"));
}

TEST_F(StartupTest, SaveCreatesTheFileWithBothSections) {
    TStartup startup(Inputs());
    ASSERT_TRUE(startup.SaveSettings(startup.LoadSettings()));
    TIniFile ini;
    ASSERT_EQ(ini.Load(startup.IniPath()), TIniFile::lrLoaded);
    EXPECT_TRUE(ini.HasSection(u"PATHS"_s));
    EXPECT_TRUE(ini.HasSection(u"Global"_s));
    EXPECT_FALSE(ini.HasSection(u"label"_s));
    EXPECT_EQ(ini.ReadString(u"PATHS"_s, u"WebFile"_s, {}), FProgram + u"pmf/"_s);
}

TEST_F(StartupTest, FailedSaveReportsAndLeavesNothingBroken) {
    // A folder in place of the settings file can be neither read nor replaced.
    QDir().mkpath(FProgram + u"qlt.ini"_s);
    QString error;
    EXPECT_FALSE(TStartup(Inputs()).SaveSettings(TUserSettings{}, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_TRUE(QDir(FProgram + u"qlt.ini"_s).exists());
}

TEST_F(StartupTest, FailedSaveKeepsThePreviousFileWhole) {
    if (geteuid() == 0)
        GTEST_SKIP() << "root writes into read-only folders";
    WriteIni("[label]\ncompany=ZARN\n");
    QFile::setPermissions(FProgram, QFile::ReadOwner | QFile::ExeOwner);
    QString error;
    EXPECT_FALSE(TStartup(Inputs()).SaveSettings(TUserSettings{}, &error));
    QFile::setPermissions(FProgram, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_EQ(ReadIni(), QByteArray("[label]\ncompany=ZARN\n"));
}

// A full disk: the write of the new file fails after the temporary file was made. The old
// settings, and the Devices window's beside them, must survive whole.
TEST_F(StartupTest, FullDiskKeepsThePreviousSettingsFile) {
    if (geteuid() != 0)
        GTEST_SKIP() << "mounting a small file system needs root";
    ASSERT_EQ(::mount("tmpfs", FProgram.toLocal8Bit().constData(), "tmpfs", 0, "size=64k"), 0)
        << std::strerror(errno);
    const auto unmount = qScopeGuard([this] { ::umount2(FProgram.toLocal8Bit().constData(), 0); });
    const QByteArray before = "[label]\ncompany=ZARN\n[Devices]\nWidth=700\n";
    WriteIni(before);
    QFile filler(FProgram + u"filler"_s);
    ASSERT_TRUE(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
    while (filler.write(QByteArray(4096, 'x')) > 0) {
    }
    filler.close();

    TUserSettings settings;
    settings.DirInName = u"/sites/new"_s;
    QString error;
    EXPECT_FALSE(TStartup(Inputs()).SaveSettings(settings, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(SaveDevicesWindowState(FProgram + u"qlt.ini"_s, TDevicesWindowState{}));
    EXPECT_EQ(ReadIni(), before);
    EXPECT_EQ(QDir(FProgram).entryList(QDir::Files), (QStringList{u"filler"_s, u"qlt.ini"_s}));
}

TEST_F(StartupTest, SingleByteTextsStillRead) {
    WriteIni("[PATHS]\nDIN=/sites/caf\xe9\n");
    EXPECT_EQ(TStartup(Inputs()).LoadSettings().DirInName, u"/sites/café"_s);
    WriteIni("\xEF\xBB\xBF[label]\ncompany=ZARN\n");
    EXPECT_EQ(TStartup(Inputs()).Brand(), u"ZARN"_s);
}

// The branding and type names must outlive every exit: a file that cannot be read whole is used
// as far as it reads and left byte for byte as it was.
TEST_F(StartupTest, SettingsFileNotReadWholeIsNeverRewritten) {
    const QByteArray content = "[label]\r\ncompany=ZARN\r\n[GlobalTypes]\r\n0102=Gauge\r\n"
                               "[PATHS]\r\nDIN=/sites/old\r\n";
    QStringEncoder utf16(QStringEncoder::Utf16LE, QStringEncoder::Flag::WriteBom);
    const QByteArray wide = utf16(QString::fromLatin1(content));
    const std::pair<const char *, QByteArray> cases[] = {
        {"zero byte", QByteArray(content).insert(content.indexOf("[GlobalTypes]"), '\0')},
        {"zero block at the end", content + QByteArray(512, '\0')},
        {"UTF-16 without a mark", wide.mid(2)},
        {"UTF-16 with a lone surrogate", QByteArray(wide).append("\x00\xD8\x41\x00", 4)},
        {"UTF-16 of odd length", wide + 'x'},
    };
    TUserSettings changed;
    changed.DirInName = u"/sites/new"_s;
    for (const auto &[name, bytes] : cases) {
        SCOPED_TRACE(name);
        WriteIni(bytes);
        const TStartup startup(Inputs());
        EXPECT_TRUE(startup.SettingsFault().contains(startup.IniPath()))
            << startup.SettingsFault().toStdString();
        if (!bytes.startsWith("[label]\r\n")) // only the UTF-16 cases may read nothing
            continue;
        EXPECT_EQ(startup.Brand(), u"ZARN"_s);
        EXPECT_EQ(startup.LoadSettings().DirInName, u"/sites/old"_s);
        QString error;
        EXPECT_TRUE(startup.SaveSettings(changed, &error)); // said once, at start
        EXPECT_EQ(error, QString());
        EXPECT_EQ(ReadIni(), bytes);
    }
    for (const auto &[name, bytes] : cases) {
        SCOPED_TRACE(name);
        WriteIni(bytes);
        EXPECT_TRUE(TStartup(Inputs()).SaveSettings(changed));
        EXPECT_EQ(ReadIni(), bytes);
    }

    // Spoilt while the program ran: nothing was said at start, so the save reports it.
    WriteIni(content);
    const TStartup startup(Inputs());
    EXPECT_EQ(startup.SettingsFault(), QString());
    WriteIni(cases[0].second);
    QString error;
    EXPECT_FALSE(startup.SaveSettings(changed, &error));
    EXPECT_TRUE(error.contains(u"zero byte"_s)) << error.toStdString();
    EXPECT_EQ(ReadIni(), cases[0].second);
}

// UTF-16 with a mark (as Windows editors save "Unicode") and UTF-8 with a mark are read whole
// and written back in their own encoding with everything in them.
TEST_F(StartupTest, MarkedEncodingsAreReadWholeAndKept) {
    const QString content = u"[label]\r\ncompany=ZARN\r\nappname=Měřič\r\n"
                            "[GlobalTypes]\r\n0102=Tlakoměr\r\n[PATHS]\r\nDIN=/sites/žluť\r\n"_s;
    for (const auto encoding :
         {QStringConverter::Utf16LE, QStringConverter::Utf16BE, QStringConverter::Utf8}) {
        SCOPED_TRACE(QStringConverter::nameForEncoding(encoding));
        QStringEncoder encoder(encoding, QStringEncoder::Flag::WriteBom);
        WriteIni(encoder(content));
        const TStartup startup(Inputs());
        EXPECT_EQ(startup.SettingsFault(), QString());
        EXPECT_EQ(startup.Brand(), u"ZARN"_s);
        EXPECT_EQ(startup.AppName(), u"Měřič"_s);
        TUserSettings settings = startup.LoadSettings();
        EXPECT_EQ(settings.DirInName, u"/sites/žluť"_s);
        settings.FWFile = u"/fw/kůň.rom"_s;
        ASSERT_TRUE(startup.SaveSettings(settings));

        const QByteArray saved = ReadIni();
        EXPECT_EQ(QStringConverter::encodingForData(saved), encoding);
        QStringDecoder decoder(encoding);
        const QString text = decoder(saved);
        EXPECT_FALSE(decoder.hasError());
        for (const QString &line : {u"company=ZARN"_s, u"appname=Měřič"_s, u"[GlobalTypes]"_s,
                                    u"0102=Tlakoměr"_s, u"FWFile=/fw/kůň.rom"_s})
            EXPECT_TRUE(text.contains(line)) << line.toStdString();
        EXPECT_EQ(TStartup(Inputs()).LoadSettings(), settings);
    }
}

TEST(ParseIntText, ToolkitSyntax) {
    EXPECT_EQ(ParseIntText(u"  -12"), -12);
    EXPECT_EQ(ParseIntText(u"$ff"), 255);
    EXPECT_EQ(ParseIntText(u"0X1F"), 31);
    EXPECT_EQ(ParseIntText(u"x10"), 16);
    EXPECT_EQ(ParseIntText(u""), std::nullopt);
    EXPECT_EQ(ParseIntText(u"1 "), std::nullopt);
    EXPECT_EQ(ParseIntText(u"12a"), std::nullopt);
    EXPECT_EQ(ParseIntText(u"$"), std::nullopt);
    EXPECT_EQ(ParseIntText(u"99999999999"), std::nullopt);
}

TEST(ResponsiveDelay, StepsWithTheCallbackAndKeepsTheTime) {
    using clock = std::chrono::steady_clock;
    int calls = 0;
    SetResponsiveDelayCallback([&calls] { ++calls; });
    auto start = clock::now();
    ResponsiveDelay(100);
    auto elapsed = clock::now() - start;
    EXPECT_GE(elapsed, std::chrono::milliseconds(100));
    EXPECT_LT(elapsed, std::chrono::milliseconds(400));
    EXPECT_GE(calls, 5);
    EXPECT_LE(calls, 10);

    calls = 0;
    ResponsiveDelay(10); // short pauses sleep in one go
    EXPECT_EQ(calls, 0);

    // A slow event handler does not stretch the pause much beyond its length.
    SetResponsiveDelayCallback([] { std::this_thread::sleep_for(std::chrono::milliseconds(30)); });
    start = clock::now();
    ResponsiveDelay(100);
    EXPECT_LT(clock::now() - start, std::chrono::milliseconds(200));

    SetResponsiveDelayCallback({});
    start = clock::now();
    ResponsiveDelay(50);
    EXPECT_GE(clock::now() - start, std::chrono::milliseconds(50));
}

TEST(DevicesWindowPlace, RightOfTheMainWindowElseLeftElseOffsetAlwaysOnTheArea) {
    const QRect screen(0, 0, 1920, 1050);
    const QRect main(600, 300, 600, 380);
    EXPECT_EQ(DevicesWindowPlace(main, {700, 400}, screen), QRect(1208, 300, 700, 400));
    EXPECT_EQ(DevicesWindowPlace(main.translated(700, 0), {700, 400}, screen),
              QRect(592, 300, 700, 400));
    EXPECT_EQ(DevicesWindowPlace({100, 700, 1200, 300}, {780, 400}, screen),
              QRect(132, 650, 780, 400));
    EXPECT_EQ(DevicesWindowPlace(main, {3000, 2000}, screen), screen);
}

TEST_F(StartupTest, DevicesWindowStateKeepsTheRestAndSkipsAFileReadInPart) {
    WriteIni("[label]\r\nBrand=ZARN\r\n");
    const QString ini = FProgram + u"qlt.ini"_s;
    const TDevicesWindowState state{700, 300, {90, 120, 60, 80, 321, 70}};
    ASSERT_TRUE(SaveDevicesWindowState(ini, state));
    EXPECT_EQ(LoadDevicesWindowState(ini), state);
    EXPECT_TRUE(ReadIni().contains("Brand=ZARN"));

    // Widths that are not all numbers give the window its own.
    WriteIni("[Devices]\r\nWidth=10\r\nHeight=20\r\nColumns=90,x,3\r\n");
    EXPECT_EQ(LoadDevicesWindowState(ini), (TDevicesWindowState{10, 20, {}}));
    // So do widths too narrow to show a letter.
    WriteIni("[Devices]\r\nColumns=90,120,2,80,321,70\r\n");
    EXPECT_EQ(LoadDevicesWindowState(ini).ColumnWidths, QList<int>{});

    const QByteArray spoilt("[label]\r\nBrand=ZARN\r\n\0[Devices]\r\n", 32);
    WriteIni(spoilt);
    EXPECT_FALSE(SaveDevicesWindowState(ini, state));
    EXPECT_EQ(ReadIni(), spoilt);
}
