// The create command of the real program, run from a program folder of its own so that the
// output tree lands in a temporary folder.
#include "app/cli/tests/cliprogram.h"
#include "tools/testsupport/printers.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

class CreateCommand : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Program.isValid() && Sites.isValid());
        for (const char *name : {"quillet-cli", "sitepack", "mimetype.ini"}) {
            ASSERT_TRUE(QFile::copy(QStringLiteral(QUILLET_PROGRAM_DIR) + QLatin1String(name),
                                    Program.filePath(QLatin1String(name))))
                << name;
        }
        Site = Sites.filePath(QStringLiteral("Station7"));
        ASSERT_TRUE(QDir().mkpath(Site));
        write(Site + QStringLiteral("/index.htm"), "<html></html>");
        write(Site + QStringLiteral("/old.bak"), "backup");
    }

    static void write(const QString &path, const QByteArray &bytes) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    CliRun create(QStringList options) {
        QProcess process;
        process.setProcessEnvironment(Environment);
        process.start(Program.filePath(QStringLiteral("quillet-cli")),
                      QStringList{QStringLiteral("create")} + options);
        process.waitForFinished(60000);
        return {process.exitCode(), process.readAllStandardOutput().toStdString(),
                process.readAllStandardError().toStdString()};
    }

    QString pmf(const QString &relative) const {
        return Program.filePath(QStringLiteral("pmf/") + relative);
    }

    QTemporaryDir Program;
    QTemporaryDir Sites;
    QString Site;
    QProcessEnvironment Environment = QProcessEnvironment::systemEnvironment();
};

} // namespace

TEST_F(CreateCommand, NamesNumbersAndReportsLikeTheWindow) {
    // A trailing "/" as a shell's completion adds it still names the file after the folder.
    const CliRun first = create({Site + QStringLiteral("/")});
    ASSERT_EQ(first.status, 0) << first.out << first.err;
    const QString file = pmf(QStringLiteral("Station7/Station7_WEB1_01.pmf"));
    EXPECT_EQ(first.out, "Creating web file...\n"
                         "Morvask Sitepack V1.10 (May 24 2000).\n"
                         "Convert web directory to Pelmo web file.\n"
                         "1 files written to " +
                             file.toStdString() +
                             " (76 bytes).\n"
                             "Web file created successful.\n\nOK\n" +
                             file.toStdString() + "\n");
    EXPECT_TRUE(QFile::exists(file));
    EXPECT_FALSE(QFile::exists(Site + QStringLiteral("/old.bak")));

    write(Site + QStringLiteral("/old.bak"), "backup");
    const CliRun second = create({Site, QStringLiteral("--keep-bak")});
    EXPECT_EQ(second.status, 0);
    EXPECT_TRUE(second.out.ends_with("Station7/Station7_WEB1_02.pmf\n")) << second.out;
    EXPECT_TRUE(QFile::exists(Site + QStringLiteral("/old.bak")));

    const CliRun rewrite = create({Site, QStringLiteral("--rewrite")});
    EXPECT_TRUE(rewrite.out.ends_with("Station7/Station7_WEB1_02.pmf\n")) << rewrite.out;

    const CliRun internal = create({Site, QStringLiteral("--internal")});
    EXPECT_EQ(internal.status, 0);
    EXPECT_TRUE(QFile::exists(pmf(QStringLiteral("Station7/_B/Station7_B_WEB1_01.pmf"))));
}

TEST_F(CreateCommand, FailuresEndWithStatusOne) {
    const CliRun missing = create({Sites.filePath(QStringLiteral("nothing"))});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("not a folder"), std::string::npos) << missing.err;

    // The packer refuses an empty folder: the creation fails, as the window now reports it.
    const QString empty = Sites.filePath(QStringLiteral("Empty"));
    ASSERT_TRUE(QDir().mkpath(empty));
    const CliRun nothing = create({empty});
    EXPECT_EQ(nothing.status, 1);
    EXPECT_NE(nothing.out.find("No files to process!"), std::string::npos) << nothing.out;
    EXPECT_NE(nothing.out.find("Web file creating failed."), std::string::npos) << nothing.out;
}

TEST_F(CreateCommand, InstalledForEveryoneWritesIntoTheUsersDataFolder) {
    write(Program.filePath(QStringLiteral("installed-layout")), "installed\n");
    write(Program.filePath(QStringLiteral("qlt.ini")), "[label]\ncompany=ZARN\n");
    QTemporaryDir home;
    Environment.insert(QStringLiteral("HOME"), home.path());
    Environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("conf")));
    Environment.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
    // The program folder may be read-only for the user; nothing may be written into it.
    QFile::setPermissions(Program.path(), QFile::ReadOwner | QFile::ExeOwner);

    const CliRun run = create({Site});
    QFile::setPermissions(Program.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    const QString file =
        home.filePath(QStringLiteral("data/quillet/pmf/Station7/Station7_WEB1_01.pmf"));
    EXPECT_TRUE(run.out.ends_with(file.toStdString() + "\n")) << run.out;
    EXPECT_TRUE(QFile::exists(file));
    EXPECT_FALSE(QFile::exists(pmf(QString())));
    // The user's settings start as a copy of the administrator's, branding included.
    QFile settings(home.filePath(QStringLiteral("conf/quillet/qlt.ini")));
    ASSERT_TRUE(settings.open(QIODevice::ReadOnly));
    EXPECT_EQ(settings.readAll(), "[label]\ncompany=ZARN\n");
}

TEST_F(CreateCommand, OutputNamesTheWebFile) {
    const QString file = Sites.filePath(QStringLiteral("out/station.pmf"));
    ASSERT_TRUE(QDir().mkpath(Sites.filePath(QStringLiteral("out"))));
    // Relative to the caller's folder, although the packer runs in the program folder.
    QProcess process;
    process.setWorkingDirectory(Sites.filePath(QStringLiteral("out")));
    process.start(Program.filePath(QStringLiteral("quillet-cli")),
                  {QStringLiteral("create"), Site, QStringLiteral("--output"),
                   QStringLiteral("station.pmf")});
    process.waitForFinished(60000);
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    EXPECT_TRUE(process.readAllStandardOutput().endsWith(file.toUtf8() + "\n"));
    EXPECT_TRUE(QFile::exists(file));
    EXPECT_FALSE(QFile::exists(pmf(QString())));

    const CliRun both =
        create({Site, QStringLiteral("--rewrite"), QStringLiteral("--output"), file});
    EXPECT_EQ(both.status, 2);
}
