#include "support/commandline.h"
#include "support/programfolder.h"
#include "tools/testsupport/printers.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

TEST(CommandLine, SplitsLikeTheDevicesToolsDo) {
    struct Case {
        const char *line;
        QStringList words;
    };
    const Case cases[] = {
        {"  sitepack  /d  src\t/o out.pmf ",
         {QStringLiteral("sitepack"), QStringLiteral("/d"), QStringLiteral("src"),
          QStringLiteral("/o"), QStringLiteral("out.pmf")}},
        {R"(a "b c" d)", {QStringLiteral("a"), QStringLiteral("b c"), QStringLiteral("d")}},
        {R"(x"y z"w)", {QStringLiteral("xy zw")}},
        {R"(a "" b)", {QStringLiteral("a"), QString(), QStringLiteral("b")}},
        {R"(say \"hi\")", {QStringLiteral("say"), QStringLiteral("\"hi\"")}},
        {R"(a\\b c\\\\"d e")", {QStringLiteral("a\\\\b"), QStringLiteral("c\\\\d e")}},
        {R"("unclosed quote)", {QStringLiteral("unclosed quote")}},
        {"", {}},
    };
    for (const Case &c : cases)
        EXPECT_EQ(SplitCommandLine(QString::fromUtf8(c.line)), c.words) << c.line;
}

TEST(CommandLine, QuotedWordsAlwaysSplitBackToThemselves) {
    const QStringList words = {
        QString(),
        QStringLiteral("plain"),
        QStringLiteral("/home/tech/web site/pmf/Site_100.pmf"),
        QStringLiteral("quote\"inside"),
        QStringLiteral("\""),
        QStringLiteral("trailing backslash\\"),
        QStringLiteral("\\\\server\\share\\"),
        QStringLiteral("back\\\"slash quote"),
        QStringLiteral("\\\\\""),
        QStringLiteral("tab\there"),
        QStringLiteral(" "),
        QString::fromUtf8("\xc3\xbcml\xc3\xa4ut"),
    };
    QString line = QStringLiteral("prog");
    for (const QString &word : words) {
        EXPECT_EQ(SplitCommandLine(QuoteArgument(word)), QStringList{word}) << word.toStdString();
        line += QLatin1Char(' ') + QuoteArgument(word);
    }
    EXPECT_EQ(SplitCommandLine(line), QStringList{QStringLiteral("prog")} + words);
    EXPECT_EQ(QuoteArgument(QStringLiteral("plain")), QStringLiteral("plain"));
}

TEST(CommandLine, ProgramFolderFirstThenPathNeverTheCurrentFolder) {
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const auto makeTool = [&](const QString &folder, const QString &name, bool executable) {
        QDir().mkpath(root.filePath(folder));
        QFile file(root.filePath(folder + QLatin1Char('/') + name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\n");
        file.setPermissions(executable ? QFile::ReadOwner | QFile::ExeOwner : QFile::ReadOwner);
        return file.fileName();
    };
    const QString own = makeTool(QStringLiteral("bin"), QStringLiteral("tool"), true);
    const QString onPath = makeTool(QStringLiteral("path"), QStringLiteral("tool"), true);
    makeTool(QStringLiteral("path"), QStringLiteral("other"), true);
    makeTool(QStringLiteral("bin"), QStringLiteral("noexec"), false);
    makeTool(QStringLiteral("cwd"), QStringLiteral("here"), true);
    const QString programFolder = root.filePath(QStringLiteral("bin/"));
    const QString path = QStringLiteral("::") + root.filePath(QStringLiteral("path"));

    const QString oldCurrent = QDir::currentPath();
    QDir::setCurrent(root.filePath(QStringLiteral("cwd")));
    EXPECT_EQ(FindProgram(QStringLiteral("tool"), programFolder, path), own);
    EXPECT_EQ(FindProgram(QStringLiteral("other"), programFolder, path),
              root.filePath(QStringLiteral("path/other")));
    EXPECT_EQ(FindProgram(QStringLiteral("noexec"), programFolder, path), QString());
    EXPECT_EQ(FindProgram(QStringLiteral("here"), programFolder, path), QString());
    EXPECT_EQ(FindProgram(QStringLiteral("./here"), programFolder, path), QStringLiteral("./here"));
    EXPECT_EQ(FindProgram(onPath, programFolder, QString()), onPath);
    QDir::setCurrent(oldCurrent);
}

TEST(CommandLine, ProgramFolderIsTheRunningProgramsFolder) {
    // This test program makes no application object: the folder still comes from the system.
    const QString folder = ProgramFolder();
    EXPECT_TRUE(folder.endsWith(QLatin1Char('/')));
    EXPECT_TRUE(QFile::exists(folder + QStringLiteral("support_commandline_test")));
}
