#include "app/workflows/webfilecreator.h"

#include "app/workflows/tests/recordingreport.h"
#include "packer/webfile.h"
#include "support/brimolog.h"
#include "tools/testsupport/files.h"
#include "tools/testsupport/printers.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using testing::ElementsAre;
using testing::HasSubstr;
using testing::StartsWith;

void WriteFile(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(bytes);
}

using testsupport::ReadFile;

class WebFileCreatorTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Dir.isValid());
        PreviousFolder = QDir::currentPath();
        // The packer reads its MIME table from the program folder, its current folder.
        ASSERT_TRUE(QFile::copy(QStringLiteral(QUILLET_SOURCE_DIR "data/mimetype.ini"),
                                Folder() + QStringLiteral("mimetype.ini")));
        Settings.PackerProgram = QStringLiteral(QUILLET_PROGRAM_DIR "sitepack");
        Settings.StepPauseMs = 20;
    }
    void TearDown() override { QDir::setCurrent(PreviousFolder); }

    QString Folder() const { return Dir.path() + QLatin1Char('/'); }

    QString MakeSource(const QString &inner) {
        const QString source = Folder() + inner;
        EXPECT_TRUE(QDir().mkpath(source));
        WriteFile(source + QStringLiteral("/index.htm"), "<html>Station</html>");
        WriteFile(source + QStringLiteral("/style.css"), "p{}");
        return source;
    }

    TCreateRequest Request(const QString &source) const {
        TCreateRequest request;
        request.ProgramFolder = Folder();
        request.DirInName = source;
        request.SourceFolder = source;
        return request;
    }

    // Runs one creation to its end.
    bool Create(const TCreateRequest &request, TBrimoLog *log = nullptr) {
        Report = TRecordingReport();
        TWebFileCreator creator(Report, log, Settings);
        QSignalSpy finished(&creator, &TWebFileCreator::Finished);
        QSignalSpy named(&creator, &TWebFileCreator::WebFileNamed);
        creator.Start(request);
        EXPECT_TRUE(WaitForSignal(finished, 20000));
        FileOutName = creator.FileOutName();
        CommandLine = creator.CommandLine();
        Named = named.isEmpty() ? QString() : named.first().first().toString();
        EXPECT_FALSE(creator.Running());
        return !finished.isEmpty() && finished.first().first().toBool();
    }

    QTemporaryDir Dir;
    QString PreviousFolder;
    TCreateSettings Settings;
    TRecordingReport Report;
    QString FileOutName;
    QString CommandLine;
    QString Named;
};

TEST_F(WebFileCreatorTest, PacksTheFolderIntoANumberedWebFile) {
    const QString source = MakeSource(QStringLiteral("Station 7"));
    WriteFile(source + QStringLiteral("/old.bak"), "backup");
    WriteFile(Folder() + QStringLiteral("cil.cnf"), "woCustom1\n");
    TBrimoLog log(Folder() + QStringLiteral("qlt.log"), Folder() + QStringLiteral("cil.cnf"));

    ASSERT_TRUE(Create(Request(source), &log));

    const QString expected = Folder() + QStringLiteral("pmf/Station 7/Station 7_WEB1_01.pmf");
    EXPECT_EQ(FileOutName, expected);
    EXPECT_EQ(Named, expected);
    ASSERT_EQ(Report.Info.size(), 5);
    EXPECT_EQ(Report.Info[0], QStringLiteral("Creating web file..."));
    EXPECT_THAT(Report.Info[1].toStdString(),
                HasSubstr("2 files written to " + expected.toStdString()));
    EXPECT_THAT(Report.Info.mid(2), ElementsAre(QStringLiteral("Web file created successful."),
                                                QString(), QStringLiteral("OK")));
    EXPECT_TRUE(Report.ErrorBoxes.isEmpty());
    EXPECT_THAT(Report.BusyChanges, ElementsAre(true, false));

    const QByteArray bytes = ReadFile(expected);
    const webfile::ParseResult parsed =
        webfile::parse(std::string_view(bytes.constData(), bytes.size()));
    ASSERT_TRUE(parsed.ok()) << parsed.error;
    ASSERT_EQ(parsed.entries.size(), 2u);
    EXPECT_EQ(parsed.entries[0].name, "index.htm");
    EXPECT_EQ(parsed.entries[1].name, "style.css");
    EXPECT_FALSE(QFileInfo::exists(source + QStringLiteral("/old.bak")));
    EXPECT_EQ(QDir::currentPath() + QLatin1Char('/'), Folder());

    // The blank in both paths reaches the packer inside one word each.
    EXPECT_EQ(CommandLine, Settings.PackerProgram + QStringLiteral(" /d \"") + source +
                               QStringLiteral("\" /o \"") + expected + QLatin1Char('"'));

    QStringList messages;
    for (const QString &line : QString::fromUtf8(ReadFile(log.FileName())).split(QLatin1Char('\n')))
        messages.append(line.mid(22).trimmed());
    messages.removeAll(QString());
    EXPECT_THAT(messages,
                ElementsAre(QStringLiteral("--- Web file creating ---"),
                            QStringLiteral("DirInName = [") + source + QLatin1Char(']'),
                            QStringLiteral("KindWeb=[_WEB1], KindDir=[Station 7], KindType=[]"),
                            QStringLiteral("FileOutName = [") + expected + QLatin1Char(']'),
                            QStringLiteral("Command = [") + CommandLine + QLatin1Char(']'),
                            QStringLiteral("HD drive location: /:"),
                            QStringLiteral("HD drive location changed"),
                            QStringLiteral("Directory location: cd ") + Folder(),
                            QStringLiteral("Directory location changed"),
                            QStringLiteral("Command: ") + CommandLine,
                            QStringLiteral("Command executed")));
}

TEST_F(WebFileCreatorTest, NewVersionAndRewriteLast) {
    const QString source = MakeSource(QStringLiteral("site"));
    TCreateRequest request = Request(source);
    request.InternalMode = true;
    request.DeleteBakFiles = false;
    WriteFile(source + QStringLiteral("/keep.bak"), "backup");
    const QString folder = Folder() + QStringLiteral("pmf/site/_B/");
    ASSERT_TRUE(QDir().mkpath(folder));
    WriteFile(folder + QStringLiteral("site_B_WEB1_09.pmf"), "old");

    ASSERT_TRUE(Create(request));
    EXPECT_EQ(FileOutName, folder + QStringLiteral("site_B_WEB1_10.pmf"));

    request.RewriteLast = true;
    WriteFile(source + QStringLiteral("/more.htm"), "<p>");
    ASSERT_TRUE(Create(request));
    EXPECT_EQ(FileOutName, folder + QStringLiteral("site_B_WEB1_10.pmf"));
    const QByteArray bytes = ReadFile(FileOutName);
    EXPECT_EQ(webfile::parse(std::string_view(bytes.constData(), bytes.size())).entries.size(), 4u);
    EXPECT_TRUE(QFileInfo::exists(source + QStringLiteral("/keep.bak")));
}

TEST_F(WebFileCreatorTest, FolderThatCannotBeCreatedStopsBeforeThePacker) {
    const QString source = MakeSource(QStringLiteral("a/b"));
    EXPECT_FALSE(Create(Request(source)));
    EXPECT_THAT(Report.ErrorBoxes,
                ElementsAre(QStringLiteral("pmf/a/b directory not exist and succeed not created")));
    EXPECT_THAT(Report.Info, ElementsAre(QStringLiteral("Creating web file..."),
                                         QStringLiteral("Internal error."),
                                         QStringLiteral("Web file creating failed.")));
    EXPECT_TRUE(Named.isEmpty());
    EXPECT_TRUE(CommandLine.isEmpty());
    EXPECT_TRUE(Report.BusyChanges.isEmpty());
    // The run made "pmf" before it failed, and leaves no empty folder behind.
    EXPECT_FALSE(QFileInfo::exists(Folder() + QStringLiteral("pmf")));
}

TEST_F(WebFileCreatorTest, PackerFailureIsReportedAsFailure) {
    const QString source = Folder() + QStringLiteral("empty");
    ASSERT_TRUE(QDir().mkdir(source));
    ASSERT_TRUE(QDir().mkpath(Folder() + QStringLiteral("pmf/other")));
    EXPECT_FALSE(Create(Request(source)));
    // Only the folder that this run made goes again.
    EXPECT_FALSE(QFileInfo::exists(Folder() + QStringLiteral("pmf/empty")));
    EXPECT_TRUE(QFileInfo::exists(Folder() + QStringLiteral("pmf/other")));
    ASSERT_EQ(Report.Info.size(), 4);
    EXPECT_THAT(Report.Info[1].toStdString(), HasSubstr("No files to process!"));
    EXPECT_THAT(Report.Info.mid(2),
                ElementsAre(QStringLiteral("Web file creating failed."), QString()));
    EXPECT_FALSE(QFileInfo::exists(FileOutName));
    EXPECT_THAT(Report.BusyChanges, ElementsAre(true, false));
}

TEST_F(WebFileCreatorTest, PackerThatCannotStartIsReportedAtOnce) {
    Settings.PackerProgram = Folder() + QStringLiteral("no-such-packer");
    const QString source = MakeSource(QStringLiteral("site"));
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(Create(Request(source)));
    EXPECT_LT(clock.elapsed(), 3000);
    EXPECT_THAT(Report.Info,
                ElementsAre(QStringLiteral("Creating web file..."),
                            Settings.PackerProgram + QStringLiteral(" could not be started."),
                            QStringLiteral("Web file creating failed."), QString()));
    EXPECT_THAT(Report.BusyChanges, ElementsAre(true, false));
}

TEST_F(WebFileCreatorTest, PackerThatHangsIsStoppedAtTheLimit) {
    Settings.PackerProgram = Folder() + QStringLiteral("slowpack");
    WriteFile(Settings.PackerProgram, "#!/bin/sh\necho packing\nexec sleep 30\n");
    QFile(Settings.PackerProgram)
        .setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    Settings.PackerLimitMs = 500;
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(Create(Request(MakeSource(QStringLiteral("site")))));
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_THAT(Report.Info,
                ElementsAre(QStringLiteral("Creating web file..."), QStringLiteral("packing"),
                            Settings.PackerProgram +
                                QStringLiteral(" did not end within 0.5 s and was stopped."),
                            QStringLiteral("Web file creating failed."), QString()));
}

} // namespace
