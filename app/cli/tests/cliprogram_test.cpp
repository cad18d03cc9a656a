// The program as a technician runs it: exit statuses, what goes to which stream, and the
// web file commands end to end.
#include "app/cli/tests/cliprogram.h"
#include "packer/webfile.h"
#include "tools/testsupport/printers.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <arpa/inet.h>
#include <cerrno>
#include <fstream>
#include <netinet/in.h>
#include <optional>
#include <sstream>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

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
    // Each with how its help begins: the help of the command asked for, not of another one.
    const std::vector<std::pair<QStringList, std::string>> commands = {
        {{}, "Usage: quillet-cli COMMAND [options] [arguments]\n"},
        {{QStringLiteral("search")}, "Usage: quillet-cli search [options]\nBroadcasts"},
        {{QStringLiteral("create")}, "Usage: quillet-cli create [options] FOLDER\nPacks"},
        {{QStringLiteral("upload-web")},
         "Usage: quillet-cli upload-web [options] FILE ADDRESS...\nUploads a web file"},
        {{QStringLiteral("upload-fw")},
         "Usage: quillet-cli upload-fw [options] FILE ADDRESS...\nUploads a firmware image"},
        {{QStringLiteral("change-ip")},
         "Usage: quillet-cli change-ip [options] MAC ADDRESS\nGives"},
        {{QStringLiteral("webfile")},
         "Usage: quillet-cli webfile list|extract|serve [options] ...\nLooks"},
        {{QStringLiteral("webfile"), QStringLiteral("list")},
         "Usage: quillet-cli webfile list [options] FILE\nLists"},
        {{QStringLiteral("webfile"), QStringLiteral("extract")},
         "Usage: quillet-cli webfile extract [options] FILE FOLDER\nWrites"},
        {{QStringLiteral("webfile"), QStringLiteral("serve")},
         "Usage: quillet-cli webfile serve [options] FILE\nServes"},
    };
    for (const auto &[command, begin] : commands) {
        const std::string shown = command.join(QLatin1Char(' ')).toStdString();
        const CliRun help = runCli(command + QStringList{QStringLiteral("--help")});
        EXPECT_EQ(help.status, 0) << shown << help.err;
        EXPECT_EQ(help.out.substr(0, begin.size()), begin) << shown;
        EXPECT_EQ(help.err, "") << shown;

        const CliRun version = runCli(command + QStringList{QStringLiteral("--version")});
        EXPECT_EQ(version.status, 0) << shown;
        EXPECT_EQ(version.out, "quillet-cli 1.2.0.0\n") << shown;
    }
}

TEST(CliProgram, UsageErrorsEndWithStatusTwoOnStandardError) {
    // Each with the help it points to, one that runs as printed; none when the overview follows.
    const std::vector<std::pair<QStringList, std::string>> wrong = {
        {{}, ""},
        {{QStringLiteral("frobnicate")}, ""},
        {{QStringLiteral("webfile")}, "webfile"},
        {{QStringLiteral("webfile"), QStringLiteral("frob")}, "webfile"},
        {{QStringLiteral("webfile"), QStringLiteral("list")}, "webfile list"},
        {{QStringLiteral("webfile"), QStringLiteral("list"), QStringLiteral("a"),
          QStringLiteral("b")},
         "webfile list"},
        {{QStringLiteral("webfile"), QStringLiteral("list"), QStringLiteral("--colour"),
          QStringLiteral("a")},
         "webfile list"},
        {{QStringLiteral("webfile"), QStringLiteral("serve"), QStringLiteral("a"),
          QStringLiteral("--port"), QStringLiteral("70000")},
         "webfile serve"},
        {{QStringLiteral("upload-web"), QStringLiteral("file.pmf")}, "upload-web"},
        {{QStringLiteral("upload-fw"), QStringLiteral("--parallel"), QStringLiteral("0"),
          QStringLiteral("file.rom"), QStringLiteral("192.0.2.11")},
         "upload-fw"},
        {{QStringLiteral("change-ip"), QStringLiteral("02-00-00-00-00-01")}, "change-ip"},
        // An interface that is not there is a usage error, found before anything is sent,
        // and its name reaches the terminal defused.
        {{QStringLiteral("search"), QStringLiteral("--interface"),
          QStringLiteral("no\x1b[2Jsuch0")},
         "search"},
        {{QStringLiteral("rescue"), QStringLiteral("02-00-00-00-00-05"),
          QStringLiteral("--interface"), QStringLiteral("nosuch0")},
         "rescue"},
    };
    for (const auto &[args, help] : wrong) {
        const CliRun run = runCli(args);
        const std::string shown = args.join(QLatin1Char(' ')).toStdString();
        EXPECT_EQ(run.status, 2) << shown << run.err;
        EXPECT_EQ(run.out, "") << shown;
        EXPECT_NE(run.err.find("Usage: quillet-cli"), std::string::npos) << shown;
        EXPECT_EQ(run.err.find('\x1b'), std::string::npos) << shown;
        EXPECT_EQ(run.err.find("Try '") == std::string::npos, help.empty()) << shown << run.err;
        if (!help.empty()) {
            EXPECT_NE(run.err.find("\nTry 'quillet-cli " + help + " --help'.\n"), std::string::npos)
                << shown << ": " << run.err;
        }
    }
}

// LC_ALL, LANG and the rest choose the language of what a person reads: Czech for a Czech
// locale, Qt's own texts too, and the English for C.
TEST(CliProgram, ACzechLocaleTellsPeopleInCzech) {
    const QString czech = QStringLiteral("cs_CZ.UTF-8");
    const CliRun missing = runCli({QStringLiteral("upload-web")}, 60000, czech);
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.err, "quillet-cli: Chybí argumenty.\n"
                           "Použití: quillet-cli upload-web [options] FILE ADDRESS...\n"
                           "Zkuste 'quillet-cli upload-web --help'.\n");
    const CliRun help = runCli({QStringLiteral("search"), QStringLiteral("--help")}, 60000, czech);
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("\n\nVolby:\n  -h, --help          Zobrazí tuto nápovědu a skončí.\n"),
              std::string::npos)
        << help.out;
    const CliRun english = runCli({QStringLiteral("upload-web")}, 60000, QStringLiteral("C"));
    EXPECT_EQ(english.err.substr(0, 32), "quillet-cli: Missing arguments.\n");
}

TEST(CliProgram, TheOverviewListsEveryCommandWithItsSynopsis) {
    const std::string overview =
        "Usage: quillet-cli COMMAND [options] [arguments]\n"
        "\n"
        "Commands:\n"
        "  search [--json|--csv] [--types FILE] [--interface NAME]... [--range CIDR]...\n"
        "                                        find the devices on the network\n"
        "  create FOLDER [--rewrite] [--internal] [--keep-bak] [--output FILE]\n"
        "                                        pack a folder into a new web file\n"
        "  upload-web FILE ADDRESS... [--no-verify] [--parallel N]\n"
        "                                        upload a web file and verify each device\n"
        "  upload-fw FILE ADDRESS... [--parallel N]\n"
        "                                        upload a firmware image\n"
        "  change-ip MAC ADDRESS [--arp] [--wait SECONDS] [--no-check]\n"
        "                                        give a device a new IP address\n"
        "  rescue MAC [--interface NAME] [--wait SECONDS]\n"
        "                                        give a device at a factory address a free one\n"
        "  history [--json|--csv] [--mac MAC]... [--since DATE]\n"
        "                                        what the site journal recorded, newest first\n"
        "  webfile list FILE                     list the entries of a web file\n"
        "  webfile extract FILE FOLDER [--overwrite]\n"
        "                                        write the entries back as files\n"
        "  webfile serve FILE [--port N]         preview a web file in a browser\n"
        "\n"
        "Every command takes --help and --version. Exit status: 0 success, 1 failure,\n"
        "2 usage error. search, the uploads, change-ip and rescue record what they\n"
        "did in the site journal unless given --no-journal.\n";
    EXPECT_EQ(runCli({QStringLiteral("--help")}).out, overview);
    EXPECT_EQ(runCli({}).err, "quillet-cli: no command given\n\n" + overview);
    EXPECT_EQ(runCli({QStringLiteral("webfile-list")}).err,
              "quillet-cli: unknown command 'webfile-list'\n\n" + overview);
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

namespace {

// "webfile serve FILE --port 0", its port read from the first line it prints; 0 if it prints
// none. The program raises its soft limit on open descriptors to the hard one, so a low limit
// for it is a low hard limit.
quint16 startServe(QProcess &server, const QString &file, std::optional<rlimit> openFiles = {}) {
    if (openFiles) {
        server.setChildProcessModifier(
            [limit = *openFiles] { ::setrlimit(RLIMIT_NOFILE, &limit); });
    }
    server.start(cliProgram(), {QStringLiteral("webfile"), QStringLiteral("serve"), file,
                                QStringLiteral("--port"), QStringLiteral("0")});
    if (!server.waitForReadyRead(10000)) {
        return 0;
    }
    const QString first = QString::fromUtf8(server.readLine());
    const qsizetype at = first.indexOf(QStringLiteral("http://127.0.0.1:"));
    return at < 0 ? 0 : first.mid(at + 17).section(QLatin1Char('/'), 0, 0).toUShort();
}

std::string fetchRoot(quint16 port) {
    QTcpSocket client;
    client.connectToHost(QStringLiteral("127.0.0.1"), port);
    if (!client.waitForConnected(5000)) {
        return "no connection";
    }
    client.write("GET / HTTP/1.0\r\n\r\n");
    QByteArray reply;
    while (client.waitForReadyRead(5000)) {
        reply += client.readAll();
    }
    return reply.toStdString();
}

// CPU time the process has used, in clock ticks.
long cpuTicks(qint64 pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(stat, line);
    // After the name in parentheses: state and ten more fields, then user and system time.
    std::istringstream fields(line.substr(line.rfind(')') + 2));
    std::string skipped;
    for (int i = 0; i < 11; ++i) {
        fields >> skipped;
    }
    long user = 0;
    long system = 0;
    fields >> user >> system;
    return user + system;
}

// Clients that connect and then say nothing.
class SilentClients {
public:
    SilentClients(quint16 port, int count) {
        sockaddr_in server{};
        server.sin_family = AF_INET;
        server.sin_port = htons(port);
        server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        for (int i = 0; i < count; ++i) {
            const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            ::connect(fd, reinterpret_cast<const sockaddr *>(&server), sizeof server);
            Fds.push_back(fd);
        }
    }
    ~SilentClients() { release(); }

    void release() {
        for (const int fd : std::exchange(Fds, {})) {
            ::close(fd);
        }
    }
    // How many the server has closed.
    int closedByServer() const {
        int closed = 0;
        for (const int fd : Fds) {
            char byte;
            const ssize_t got = ::recv(fd, &byte, 1, MSG_DONTWAIT);
            closed += got == 0 || (got < 0 && errno == ECONNRESET);
        }
        return closed;
    }

private:
    std::vector<int> Fds;
};

} // namespace

TEST(CliProgram, ServePrintsItsAddressAndAnswersOnLoopback) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("site.pmf"));
    writeFile(file, sampleWebFile());
    QProcess server;
    const quint16 port = startServe(server, file);
    ASSERT_NE(port, 0);

    EXPECT_EQ(fetchRoot(port), webfile::replyHead("text/html") + "<title>T</title>");

    // Stopping the preview is its normal end.
    server.terminate();
    ASSERT_TRUE(server.waitForFinished(5000));
    EXPECT_EQ(server.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(server.exitCode(), 0);
}

// More clients than descriptors: the server neither spins on its listening socket nor stops
// answering; the oldest silent client makes room for a new one.
TEST(CliProgram, ServeOutnumberedByConnectionsStaysIdleAndAnswers) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("site.pmf"));
    writeFile(file, sampleWebFile());
    QProcess server;
    const quint16 port = startServe(server, file, rlimit{32, 64});
    ASSERT_NE(port, 0);
    rlimit limit{};
    ASSERT_EQ(::prlimit(server.processId(), RLIMIT_NOFILE, nullptr, &limit), 0);
    EXPECT_EQ(limit.rlim_cur, 64u) << "raised to the hard limit at start";
    const std::string page = webfile::replyHead("text/html") + "<title>T</title>";

    SilentClients clients(port, 120);
    QThread::msleep(1000);
    const long before = cpuTicks(server.processId());
    QThread::msleep(2000);
    EXPECT_LE(cpuTicks(server.processId()) - before, 10) << "CPU ticks in 2 s while outnumbered";
    EXPECT_EQ(fetchRoot(port), page) << "while outnumbered";
    clients.release();
    EXPECT_EQ(fetchRoot(port), page) << "after the clients left";

    server.terminate();
    ASSERT_TRUE(server.waitForFinished(5000));
    EXPECT_EQ(server.exitCode(), 0);
    EXPECT_EQ(server.readAllStandardError().toStdString(), "");
}

// Silent clients time out while the server runs at its descriptor limit, and nothing the process
// does then lacks a descriptor (the sanitizers' checks need some too).
TEST(CliProgram, ServeClosesSilentConnectionsAtItsDescriptorLimit) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("site.pmf"));
    writeFile(file, sampleWebFile());
    QProcess server;
    const quint16 port = startServe(server, file, rlimit{256, 256});
    ASSERT_NE(port, 0);

    SilentClients clients(port, 600);
    QElapsedTimer waited;
    waited.start();
    while (clients.closedByServer() < 600 && waited.elapsed() < 30000 &&
           !server.waitForFinished(250)) {
    }
    EXPECT_EQ(clients.closedByServer(), 600) << "after " << waited.elapsed() << " ms";
    ASSERT_EQ(server.state(), QProcess::Running) << server.readAllStandardError().toStdString();
    EXPECT_EQ(fetchRoot(port), webfile::replyHead("text/html") + "<title>T</title>");

    server.terminate();
    ASSERT_TRUE(server.waitForFinished(5000));
    EXPECT_EQ(server.exitCode(), 0);
    EXPECT_EQ(server.readAllStandardError().toStdString(), "");
}
