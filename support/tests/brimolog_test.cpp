#include "support/brimolog.h"
#include "support/programfolder.h"
#include "tools/testsupport/printers.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class BrimoLogTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(FDir.isValid()); }

    QString Config() const { return FDir.filePath(QStringLiteral("cil.cnf")); }
    QString LogFile() const { return FDir.filePath(QStringLiteral("qlt.log")); }

    void WriteConfig(const QByteArray &content) {
        QFile file(Config());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
    }

    // The lines of the log file with their time stamps removed; a line without one (the rest of
    // a message with line breaks) is kept whole.
    QStringList Messages() const {
        QFile file(LogFile());
        if (!file.open(QIODevice::ReadOnly))
            return {};
        const QString text = QString::fromLocal8Bit(file.readAll());
        EXPECT_TRUE(text.endsWith(QStringLiteral("\r\n")));
        static const QRegularExpression stamp(
            QStringLiteral("^\\d\\d-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d \\d\\d\\d "));
        QStringList messages;
        for (const QString &line : text.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts))
            messages << (stamp.match(line).hasMatch() ? line.mid(22) : line);
        return messages;
    }

    // Writes one message with every option on its own and gives the options that came out.
    QStringList WrittenOptions(const QByteArray &config) {
        QFile::remove(LogFile());
        WriteConfig(config);
        {
            TBrimoLog log(LogFile(), Config());
            for (const TWriteOptionsInitRec &rec : WriteOptionsInit)
                log.WriteLineIf(TWriteOptions{rec.Option}, QString::fromLatin1(rec.Name));
        }
        QStringList messages = Messages();
        EXPECT_EQ(messages.takeLast(), TBrimoLog::EndMarker);
        return messages;
    }

    QTemporaryDir FDir;
};

const QStringList AllOptions = {
    QStringLiteral("woUser"),    QStringLiteral("woCommon"),  QStringLiteral("woMouse"),
    QStringLiteral("woData"),    QStringLiteral("woComm"),    QStringLiteral("woCustom1"),
    QStringLiteral("woCustom2"), QStringLiteral("woCustom3"),
};

} // namespace

TEST_F(BrimoLogTest, ConfigurationChoosesTheOptions) {
    EXPECT_EQ(WrittenOptions(""), AllOptions);
    EXPECT_EQ(WrittenOptions("woComm"), QStringList{QStringLiteral("woComm")});
    EXPECT_EQ(WrittenOptions("  woComm \t\r\n"), QStringList{QStringLiteral("woComm")});
    EXPECT_EQ(WrittenOptions("woCustom1\r\n;woComm\r\nwoUser\n"),
              (QStringList{QStringLiteral("woUser"), QStringLiteral("woCustom1")}));
    // Only exact keywords count; a file that names none turns every option on.
    EXPECT_EQ(WrittenOptions("wocomm"), AllOptions);
    EXPECT_EQ(WrittenOptions("; woComm"), AllOptions);
    EXPECT_EQ(WrittenOptions("woComm ;x"), AllOptions);
    EXPECT_EQ(WrittenOptions("; only a comment\n\n"), AllOptions);
}

TEST_F(BrimoLogTest, LinesAreAppendedWithTimeStampAndEndMarker) {
    WriteConfig("");
    {
        QFile old(LogFile());
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("00-01-01 00:00:00 000 earlier run\r\n");
    }
    {
        TBrimoLog log(LogFile(), Config());
        EXPECT_TRUE(log.Enabled());
        log.WriteLine(QStringLiteral("--- Web file creating ---"));
        // Each line is on disk when the call returns.
        EXPECT_EQ(Messages().size(), 2);
        log.WriteLineIf(TWriteOptions{}, QStringLiteral("never written"));
        log.WriteLine(QStringLiteral("two\r\nlines"));
    }
    QFile file(LogFile());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().contains(" two\r\nlines\r\n"));
    EXPECT_EQ(
        Messages(),
        (QStringList{QStringLiteral("earlier run"), QStringLiteral("--- Web file creating ---"),
                     QStringLiteral("two"), QStringLiteral("lines"), TBrimoLog::EndMarker}));
    // A run that logs nothing still closes with the end marker.
    { TBrimoLog log(LogFile(), Config()); }
    EXPECT_EQ(Messages().last(), TBrimoLog::EndMarker);
    EXPECT_EQ(Messages().size(), 6);
}

TEST_F(BrimoLogTest, WithoutConfigurationNothingIsWritten) {
    {
        TBrimoLog log(LogFile(), Config());
        EXPECT_FALSE(log.Enabled());
        log.WriteLine(QStringLiteral("message"));
        log.WriteLineIf(TWriteOptions::All(), QStringLiteral("message"));
    }
    EXPECT_FALSE(QFile::exists(LogFile()));
}

TEST_F(BrimoLogTest, UnwritableLogAndUnreadableConfigurationAreSilent) {
    // A configuration that exists but cannot be read turns every option on.
    ASSERT_TRUE(QDir(FDir.path()).mkdir(QStringLiteral("cil.cnf")));
    const QString missingFolder = FDir.filePath(QStringLiteral("gone/qlt.log"));
    {
        TBrimoLog log(missingFolder, Config());
        EXPECT_TRUE(log.Enabled());
        EXPECT_EQ(log.Options(), TWriteOptions::All());
        log.WriteLine(QStringLiteral("lost"));
    }
    EXPECT_FALSE(QFile::exists(missingFolder));
}

TEST(BrimoLogDefaults, ConfigurationLiesBesideTheProgram) {
    TBrimoLog log(QStringLiteral("/nonexistent/qlt.log"));
    EXPECT_EQ(log.ConfigFileName(), ProgramFolder() + QStringLiteral("cil.cnf"));
    EXPECT_TRUE(ProgramFolder().endsWith(QLatin1Char('/')));
    EXPECT_EQ(TWriteOptions({woUser, woComm}).Bits(), 0x11);
    EXPECT_EQ(TWriteOptions{woCustom3}.Bits(), 0x80);
}
