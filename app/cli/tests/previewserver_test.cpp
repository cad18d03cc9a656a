// The preview server's replies, first as a pure function of the request, then over real
// loopback connections.
#include "app/cli/previewserver.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTcpSocket>
#include <memory>

using cli::previewReply;

namespace {

const std::string kHtmlHead = webfile::replyHead("text/html");
const std::string kGifHead = webfile::replyHead("image/gif");

struct Site {
    explicit Site(const std::vector<webfile::Entry> &entries)
        : bytes(*webfile::build(entries))
        , parsed(webfile::parse(bytes)) {}
    std::string bytes;
    webfile::ParseResult parsed;

    std::string get(const std::string &target, const std::string &method = "GET") const {
        return previewReply(parsed, method + " " + target + " HTTP/1.1\r\nHost: x\r\n").bytes;
    }
    int status(const std::string &requestHead) const {
        return previewReply(parsed, requestHead).status;
    }
};

const Site &sampleSite() {
    static const Site site({{"index.html", kHtmlHead + "<p>html</p>"},
                            {"index.htm", kHtmlHead + "<p>htm</p>"},
                            {"logo.gif", kGifHead + "GIF89a"},
                            {"my page.htm", kHtmlHead + "blank"},
                            {"data.bin", "raw bytes"}});
    return site;
}

} // namespace

TEST(PreviewReply, StoredEntriesGoOutAsTheyStand) {
    const Site &site = sampleSite();
    EXPECT_EQ(site.get("/logo.gif"), kGifHead + "GIF89a");
    EXPECT_EQ(site.get("/logo.gif", "HEAD"), kGifHead);
    EXPECT_EQ(site.get("/my%20page.htm"), kHtmlHead + "blank");
    EXPECT_EQ(site.get("/logo.gif?v=2#top"), kGifHead + "GIF89a");
    EXPECT_EQ(site.get("http://127.0.0.1:8080/logo.gif"), kGifHead + "GIF89a");
}

TEST(PreviewReply, TheRootServesIndexHtmFirstThenIndexHtml) {
    EXPECT_EQ(sampleSite().get("/"), kHtmlHead + "<p>htm</p>");
    const Site htmlOnly({{"a.htm", kHtmlHead + "a"}, {"index.html", kHtmlHead + "<p>html</p>"}});
    EXPECT_EQ(htmlOnly.get("/"), kHtmlHead + "<p>html</p>");
    const Site noIndex({{"a.htm", kHtmlHead + "a"}});
    EXPECT_EQ(noIndex.status("GET / HTTP/1.0"), 404);
}

TEST(PreviewReply, AnEntryWithoutAHeadGetsAMinimalReply) {
    EXPECT_EQ(sampleSite().get("/data.bin"),
              "HTTP/1.0 200 OK\r\nContent-Length: 9\r\n\r\nraw bytes");
    EXPECT_EQ(sampleSite().get("/data.bin", "HEAD"),
              "HTTP/1.0 200 OK\r\nContent-Length: 9\r\n\r\n");
}

TEST(PreviewReply, MissingNamesAndBadRequestsGetErrorReplies) {
    const Site &site = sampleSite();
    EXPECT_EQ(site.status("GET /nothing.htm HTTP/1.1"), 404);
    EXPECT_EQ(site.status("GET /LOGO.GIF HTTP/1.1"), 404) << "names are compared exactly";
    EXPECT_EQ(site.status("GET /../logo.gif HTTP/1.1"), 404);
    EXPECT_EQ(site.status("GET /bad%2 HTTP/1.1"), 400);
    EXPECT_EQ(site.status("GET /bad%zz HTTP/1.1"), 400);
    EXPECT_EQ(site.status("GET logo.gif HTTP/1.1"), 400);
    EXPECT_EQ(site.status("GET /logo.gif"), 400);
    EXPECT_EQ(site.status(""), 400);
    EXPECT_EQ(site.status("POST /logo.gif HTTP/1.1"), 405);
    const std::string notFound = site.get("/x");
    EXPECT_TRUE(notFound.starts_with("HTTP/1.0 404 Not Found\r\n")) << notFound;
    EXPECT_NE(notFound.find("Content-Length: 10\r\n\r\nNot found\n"), std::string::npos);
}

namespace {

// One application object for every case of the program.
void ensureApplication() {
    static int argc = 1;
    static char arg0[] = "previewserver_test";
    static char *argv[] = {arg0, nullptr};
    static QCoreApplication app(argc, argv);
}

// Sends raw request bytes (in pieces, with a pause between) and collects the reply until the
// server closes the connection.
std::string exchange(quint16 port, const std::vector<std::string> &pieces) {
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), port);
    if (!socket.waitForConnected(5000)) {
        return "no connection";
    }
    for (const std::string &piece : pieces) {
        socket.write(piece.data(), static_cast<qint64>(piece.size()));
        socket.flush();
        QElapsedTimer pause;
        pause.start();
        while (pause.elapsed() < 30) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        }
    }
    std::string reply;
    QElapsedTimer limit;
    limit.start();
    while (socket.state() != QAbstractSocket::UnconnectedState && limit.elapsed() < 5000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        socket.waitForReadyRead(5);
        reply += socket.readAll().toStdString();
    }
    reply += socket.readAll().toStdString();
    return reply;
}

} // namespace

TEST(PreviewServer, AnswersOverLoopbackAndClosesEachConnection) {
    ensureApplication();
    auto file = std::make_unique<cli::LoadedWebFile>();
    file->bytes = sampleSite().bytes;
    file->parsed = webfile::parse(file->bytes);
    cli::PreviewServer server(std::move(file));
    std::vector<std::string> log;
    server.setRequestLog([&log](const std::string &line) { log.push_back(line); });
    ASSERT_TRUE(server.listen(0)) << server.errorString().toStdString();
    const quint16 port = server.port();

    EXPECT_EQ(exchange(port, {"GET /logo.gif HTTP/1.0\r\n\r\n"}), kGifHead + "GIF89a");
    // A request head that arrives in pieces, with bare line feeds.
    EXPECT_EQ(exchange(port, {"GET /da", "ta.bin HTTP/1.0\n", "\n"}),
              "HTTP/1.0 200 OK\r\nContent-Length: 9\r\n\r\nraw bytes");
    // A head that never ends is cut off instead of being buffered without bound.
    const std::string endless = "GET /" + std::string(20000, 'a');
    EXPECT_TRUE(exchange(port, {endless}).starts_with("HTTP/1.0 431 "));

    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0],
              "GET /logo.gif HTTP/1.0 -> 200 (" + std::to_string(kGifHead.size() + 6) + " bytes)");
}

TEST(PreviewServer, RefusesAPortThatIsTaken) {
    ensureApplication();
    cli::PreviewServer first(std::make_unique<cli::LoadedWebFile>());
    ASSERT_TRUE(first.listen(0));
    cli::PreviewServer second(std::make_unique<cli::LoadedWebFile>());
    EXPECT_FALSE(second.listen(first.port()));
    EXPECT_FALSE(second.errorString().isEmpty());
}
