// The program as a technician runs it: exit statuses, what goes to which stream, and the
// web file commands end to end.
#include "app/cli/tests/cliprogram.h"
#include "packer/webfile.h"
#include "tools/testsupport/printers.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTcpSocket>
#include <QTemporaryDir>

namespace {

void writeFile(const QString &path, const std::string &content) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content.data(), static_cast<qint64>(content.size()));
}

std::string sampleWebFile() {
    return *webfile::build(
        {{"index.htm", webfile::replyHead("text/html") + "<title>T</title>"}, {"notes", "plain"}});
}

} // namespace

TEST(CliProgram, EveryCommandAnswersHelpAndVersion) {
    const std::vector<QStringList> commands = {
        {},
        {QStringLiteral("search")},
        {QStringLiteral("create")},
        {QStringLiteral("upload-web")},
        {QStringLiteral("upload-fw")},
        {QStringLiteral("change-ip")},
        {QStringLiteral("webfile")},
        {QStringLiteral("webfile"), QStringLiteral("list")},
        {QStringLiteral("webfile"), QStringLiteral("extract")},
        {QStringLiteral("webfile"), QStringLiteral("serve")},
    };
    for (const QStringList &command : commands) {
        const std::string shown = command.join(QLatin1Char(' ')).toStdString();
        const CliRun help = runCli(command + QStringList{QStringLiteral("--help")});
        EXPECT_EQ(help.status, 0) << shown << help.err;
        EXPECT_NE(help.out.find("Usage: quillet-cli"), std::string::npos) << shown;
        EXPECT_EQ(help.err, "") << shown;

        const CliRun version = runCli(command + QStringList{QStringLiteral("--version")});
        EXPECT_EQ(version.status, 0) << shown;
        EXPECT_EQ(version.out, "quillet-cli 1.2.0.0\n") << shown;
    }
}

TEST(CliProgram, UsageErrorsEndWithStatusTwoOnStandardError) {
    const std::vector<QStringList> wrong = {
        {},
        {QStringLiteral("frobnicate")},
        {QStringLiteral("webfile")},
        {QStringLiteral("webfile"), QStringLiteral("list")},
        {QStringLiteral("webfile"), QStringLiteral("list"), QStringLiteral("a"),
         QStringLiteral("b")},
        {QStringLiteral("webfile"), QStringLiteral("list"), QStringLiteral("--colour"),
         QStringLiteral("a")},
        {QStringLiteral("webfile"), QStringLiteral("serve"), QStringLiteral("a"),
         QStringLiteral("--port"), QStringLiteral("70000")},
        {QStringLiteral("upload-web"), QStringLiteral("file.pmf")},
        {QStringLiteral("change-ip"), QStringLiteral("02-00-00-00-00-01")},
    };
    for (const QStringList &args : wrong) {
        const CliRun run = runCli(args);
        const std::string shown = args.join(QLatin1Char(' ')).toStdString();
        EXPECT_EQ(run.status, 2) << shown << run.err;
        EXPECT_EQ(run.out, "") << shown;
        EXPECT_NE(run.err.find("Usage: quillet-cli"), std::string::npos) << shown;
    }
}

TEST(CliProgram, WebFileListAndExtract) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("site.pmf"));
    writeFile(file, sampleWebFile());

    const CliRun list = runCli({QStringLiteral("webfile"), QStringLiteral("list"), file});
    EXPECT_EQ(list.status, 0) << list.err;
    EXPECT_NE(list.out.find("index.htm    58      33  text/html"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("notes         5      91  none"), std::string::npos) << list.out;

    const QString out = dir.filePath(QStringLiteral("out"));
    const CliRun extract =
        runCli({QStringLiteral("webfile"), QStringLiteral("extract"), file, out});
    EXPECT_EQ(extract.status, 0) << extract.err;
    QFile page(out + QStringLiteral("/index.htm"));
    ASSERT_TRUE(page.open(QIODevice::ReadOnly));
    EXPECT_EQ(page.readAll(), QByteArray("<title>T</title>"));

    const CliRun again = runCli({QStringLiteral("webfile"), QStringLiteral("extract"), file, out});
    EXPECT_EQ(again.status, 1);
    EXPECT_NE(again.err.find("already exists"), std::string::npos) << again.err;
}

TEST(CliProgram, BadWebFilesFailWithStatusOneAndAMessage) {
    QTemporaryDir dir;
    const std::string good = sampleWebFile();
    std::string zeroInMiddle = good;
    zeroInMiddle[4 + 16] = '\0';
    std::string pastEnd = good;
    pastEnd[4 + 16 + 6] = '\x10';
    const std::vector<std::pair<std::string, std::string>> bad = {
        {"truncated", good.substr(0, good.size() - 3)},
        {"directory cut", good.substr(0, 12)},
        {"zero name length", zeroInMiddle},
        {"offset past end", pastEnd},
        {"empty", ""},
    };
    for (const auto &[what, bytes] : bad) {
        const QString file = dir.filePath(QStringLiteral("bad.pmf"));
        writeFile(file, bytes);
        for (const QString &sub :
             {QStringLiteral("list"), QStringLiteral("extract"), QStringLiteral("serve")}) {
            QStringList args{QStringLiteral("webfile"), sub, file};
            if (sub == QStringLiteral("extract")) {
                args << dir.filePath(QStringLiteral("out"));
            }
            const CliRun run = runCli(args, 10000);
            EXPECT_EQ(run.status, 1) << what << " " << sub.toStdString() << run.err;
            EXPECT_NE(run.err.find("quillet-cli: " +
                                   dir.filePath(QStringLiteral("bad.pmf")).toStdString() + ": "),
                      std::string::npos)
                << what << ": " << run.err;
        }
    }
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("out"))));
}

TEST(CliProgram, ServePrintsItsAddressAndAnswersOnLoopback) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("site.pmf"));
    writeFile(file, sampleWebFile());
    QProcess server;
    server.start(cliProgram(), {QStringLiteral("webfile"), QStringLiteral("serve"), file,
                                QStringLiteral("--port"), QStringLiteral("0")});
    ASSERT_TRUE(server.waitForReadyRead(10000));
    const QString first = QString::fromUtf8(server.readLine());
    const qsizetype at = first.indexOf(QStringLiteral("http://127.0.0.1:"));
    ASSERT_GE(at, 0) << first.toStdString();
    const quint16 port = first.mid(at + 17).section(QLatin1Char('/'), 0, 0).toUShort();

    QTcpSocket client;
    client.connectToHost(QStringLiteral("127.0.0.1"), port);
    ASSERT_TRUE(client.waitForConnected(5000));
    client.write("GET / HTTP/1.0\r\n\r\n");
    QByteArray reply;
    while (client.waitForReadyRead(5000)) {
        reply += client.readAll();
    }
    EXPECT_EQ(reply.toStdString(), webfile::replyHead("text/html") + "<title>T</title>");

    // Stopping the preview is its normal end.
    server.terminate();
    ASSERT_TRUE(server.waitForFinished(5000));
    EXPECT_EQ(server.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(server.exitCode(), 0);
}
