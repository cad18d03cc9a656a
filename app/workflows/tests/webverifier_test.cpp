// The web check against a device played by a TCP server on 127.0.0.1: stored replies sent
// raw, as a device sends them, and every way a device's web server can misbehave.
#include "app/workflows/webverifier.h"

#include "app/workflows/tests/recordingreport.h"
#include "tools/testsupport/printers.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

namespace {

using testing::ElementsAre;

// Names are bytes, shown as Latin-1.
QString L1(const char *text) {
    return QString::fromLatin1(text);
}

QStringList L1(std::initializer_list<const char *> texts) {
    QStringList list;
    for (const char *text : texts)
        list << L1(text);
    return list;
}

enum class TServe { Stored, Other, NotFound, CutShort, Redirect, Huge, Trickle, Silent, Close };

class TFakeDevice : public QObject {
public:
    TFakeDevice() {
        Server.listen(QHostAddress::LocalHost);
        connect(&Server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = Server.nextPendingConnection()) {
                ++Open;
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { Read(socket); });
                connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
                    --Open;
                    socket->deleteLater();
                });
            }
        });
    }
    quint16 Port() const { return Server.serverPort(); }

    std::map<QByteArray, QByteArray> Replies; // by decoded name
    std::map<QByteArray, TServe> Faults;
    quint16 RedirectPort = 0;
    QList<QByteArray> Requests;
    int Open = 0; // connections not yet closed by the client

private:
    void Read(QTcpSocket *socket) {
        QByteArray head = socket->property("head").toByteArray() + socket->readAll();
        socket->setProperty("head", head);
        if (!head.contains("\r\n\r\n") || socket->property("answered").toBool())
            return;
        socket->setProperty("answered", true);
        const QByteArray name = QByteArray::fromPercentEncoding(head.split(' ').value(1).mid(1));
        Requests.append(name);
        const auto fault = Faults.find(name);
        const TServe serve = fault == Faults.end() ? TServe::Stored : fault->second;
        const QByteArray stored = Replies.count(name) ? Replies[name] : QByteArray();
        switch (serve) {
        case TServe::Stored:
            socket->write(stored);
            break;
        case TServe::Other:
            socket->write(stored.left(stored.size() - 1) + '!');
            break;
        case TServe::NotFound:
            socket->write("HTTP/1.0 404\r\n Content-type: text/html\r\n\r\nNot found");
            break;
        case TServe::CutShort:
            socket->write(stored.left(stored.size() - 3));
            break;
        case TServe::Redirect:
            socket->write("HTTP/1.0 302 Found\r\nLocation: http://127.0.0.1:" +
                          QByteArray::number(RedirectPort) + "/moved\r\n\r\n");
            break;
        case TServe::Huge: {
            socket->write(stored);
            // Endless: more filler each time the last went out, until the client leaves.
            auto more = [socket] {
                socket->write(QByteArray(64 * 1024, 'h'));
            };
            connect(socket, &QTcpSocket::bytesWritten, socket, more);
            more();
            return;
        }
        case TServe::Trickle: {
            auto *timer = new QTimer(socket);
            connect(timer, &QTimer::timeout, socket, [socket, timer, stored] {
                const int sent = timer->property("sent").toInt();
                timer->setProperty("sent", sent + 1);
                socket->write(stored.mid(sent, 1));
            });
            timer->start(20);
            return;
        }
        case TServe::Silent:
            return;
        case TServe::Close:
            break;
        }
        socket->disconnectFromHost();
    }

    QTcpServer Server;
};

// Qt sends a GET again, once, when the reply and the close overtake its own record of having
// written the request (a server on the loopback answers that fast).
QList<QByteArray> Distinct(QList<QByteArray> requests) {
    requests.erase(std::unique(requests.begin(), requests.end()), requests.end());
    return requests;
}

QByteArray Stored(const char *mime, const QByteArray &body) {
    return QByteArray::fromStdString(webfile::replyHead(mime)) + body;
}

class WebVerifierTest : public testing::Test {
protected:
    void SetUp() override {
        Settings.Port = Device.Port();
        Settings.RequestLimitMs = 400;
        // Names as a web file may hold them: a blank and a Latin-1 letter need escapes.
        Pages = {{"index.htm", Stored("text/html", "<html>station 7</html>\r\n")},
                 {"logo.gif", Stored("image/gif", QByteArray("GIF89a\0\1\2", 9))},
                 {"my page.htm", Stored("text/html", "")},
                 {"\xe4nderung.htm", Stored("text/html", QByteArray(3000, 'x'))},
                 {"notes.zzz", "no reply head"},
                 {"index.htm", Stored("text/html", "a second entry of one name")}};
        for (const TWebPage &page : Pages)
            Device.Replies.emplace(page.Name, page.Stored);
    }

    TWebVerification Run(qint64 *elapsed = nullptr) {
        TWebVerifier verifier(Settings);
        QSignalSpy finished(&verifier, &TWebVerifier::Finished);
        QSignalSpy progress(&verifier, &TWebVerifier::Progress);
        QElapsedTimer clock;
        clock.start();
        verifier.Start(QStringLiteral("127.0.0.1"), Pages);
        EXPECT_TRUE(WaitForSignal(finished, 20000));
        if (elapsed)
            *elapsed = clock.elapsed();
        Progress.clear();
        for (const QList<QVariant> &step : progress)
            Progress << QStringLiteral("%1/%2").arg(step.at(0).toInt()).arg(step.at(1).toInt());
        EXPECT_FALSE(verifier.Running());
        return finished.isEmpty() ? TWebVerification()
                                  : finished.first().first().value<TWebVerification>();
    }

    TFakeDevice Device;
    TWebVerifySettings Settings;
    QList<TWebPage> Pages;
    QStringList Progress;
};

TEST_F(WebVerifierTest, DeviceServingTheStoredRepliesIsVerified) {
    const TWebVerification outcome = Run();
    EXPECT_EQ(outcome.Word, TWebVerification::vwVerified);
    EXPECT_EQ(outcome.Summary, QStringLiteral("The device serves the new web file: 4 of 4 pages "
                                              "identical, 2 files of unknown extension not "
                                              "checked."));
    // Neither the bare entry nor the shadowed second "index.htm" is asked for.
    EXPECT_THAT(Distinct(Device.Requests),
                ElementsAre("index.htm", "logo.gif", "my page.htm", "\xe4nderung.htm"));
    EXPECT_EQ(Progress, L1({"1/4", "2/4", "3/4", "4/4"}));
}

// Every answer that is not the stored reply is named, each within the limit, and the check goes
// on to the next page. A redirect is never followed.
TEST_F(WebVerifierTest, PagesThatDifferAreNamedWhateverTheDeviceSends) {
    TFakeDevice elsewhere;
    Device.RedirectPort = elsewhere.Port();
    Device.Faults = {{"index.htm", TServe::Other},
                     {"logo.gif", TServe::NotFound},
                     {"my page.htm", TServe::Redirect},
                     {"\xe4nderung.htm", TServe::Huge}};
    qint64 elapsed = 0;
    TWebVerification outcome = Run(&elapsed);
    EXPECT_EQ(outcome.Word, TWebVerification::vwDiffers);
    EXPECT_LT(elapsed, 4 * Settings.RequestLimitMs);
    EXPECT_EQ(outcome.Differing, L1({"index.htm", "my page.htm", "\xe4nderung.htm"}));
    EXPECT_EQ(outcome.Missing, L1({"logo.gif"}));
    EXPECT_EQ(outcome.Details, L1({"index.htm: other bytes", "logo.gif: not found (404)",
                                   "my page.htm: redirected (302)",
                                   "\xe4nderung.htm: more than the 3000 bytes stored"}));
    EXPECT_EQ(outcome.Summary, L1("The device does not serve the new web file: index.htm, my "
                                  "page.htm and \xe4nderung.htm differ; logo.gif is missing."));
    EXPECT_TRUE(elsewhere.Requests.isEmpty());

    Device.Faults = {{"index.htm", TServe::CutShort}, {"my page.htm", TServe::NotFound}};
    Device.Requests.clear();
    outcome = Run();
    EXPECT_EQ(outcome.Details,
              L1({"index.htm: cut short, 21 of 24 bytes", "my page.htm: not found (404)"}));
    EXPECT_EQ(outcome.Summary, QStringLiteral("The device does not serve the new web file: "
                                              "index.htm differs; my page.htm is missing."));
    EXPECT_EQ(Distinct(Device.Requests).size(), 4);
}

// No HTTP on the first page proves nothing either way; a device that stops answering later is
// not waited for page after page.
TEST_F(WebVerifierTest, DeviceThatDoesNotAnswerIsNotVerifiedWithinTheLimit) {
    struct Case {
        const char *name;
        std::map<QByteArray, TServe> faults;
        bool refuse;
        TWebVerification::TWord word;
        QString summary;
    };
    const QString none = QStringLiteral(
        "The device serves no web pages over HTTP: the new web file could not be checked.");
    const Case cases[] = {
        {"refused", {}, true, TWebVerification::vwNotVerified, none},
        {"silent", {{"index.htm", TServe::Silent}}, false, TWebVerification::vwNotVerified, none},
        {"slow", {{"index.htm", TServe::Trickle}}, false, TWebVerification::vwNotVerified, none},
        {"closes", {{"index.htm", TServe::Close}}, false, TWebVerification::vwNotVerified, none},
        {"stops",
         {{"logo.gif", TServe::Silent}},
         false,
         TWebVerification::vwNotVerified,
         QStringLiteral("The device stopped answering over HTTP after 1 of 4 pages: the new web "
                        "file could not be checked.")},
        {"differs, then stops",
         {{"index.htm", TServe::Other}, {"logo.gif", TServe::Silent}},
         false,
         TWebVerification::vwDiffers,
         QStringLiteral("The device does not serve the new web file: index.htm differs. It "
                        "stopped answering after 1 of 4 pages.")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Device.Faults = c.faults;
        Device.Requests.clear();
        if (c.refuse) {
            QTcpServer closed;
            closed.listen(QHostAddress::LocalHost);
            Settings.Port = closed.serverPort();
        } else {
            Settings.Port = Device.Port();
        }
        qint64 elapsed = 0;
        const TWebVerification outcome = Run(&elapsed);
        EXPECT_EQ(outcome.Word, c.word);
        EXPECT_EQ(outcome.Summary, c.summary);
        EXPECT_LT(elapsed, Settings.RequestLimitMs + 1000);
        EXPECT_LE(Distinct(Device.Requests).count("logo.gif"), 1);
        EXPECT_FALSE(Device.Requests.contains("my page.htm"));
    }
}

TEST_F(WebVerifierTest, CancelEndsTheRequestAtOnce) {
    Device.Faults = {{"index.htm", TServe::Silent}};
    Settings.RequestLimitMs = 20000;
    TWebVerifier verifier(Settings);
    QSignalSpy finished(&verifier, &TWebVerifier::Finished);
    verifier.Start(QStringLiteral("127.0.0.1"), Pages);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !Device.Requests.isEmpty(); }, 5000));
    verifier.Cancel();
    ASSERT_EQ(finished.size(), 1);
    EXPECT_EQ(finished.first().first().value<TWebVerification>().Word,
              TWebVerification::vwCancelled);
    EXPECT_FALSE(verifier.Running());
    EXPECT_TRUE(QTest::qWaitFor([&] { return Device.Open == 0; }, 2000));
    QTest::qWait(200);
    EXPECT_THAT(Device.Requests, ElementsAre("index.htm"));
    EXPECT_EQ(finished.size(), 1);
}

TEST(WebVerificationSummary, NamesTheFirstFewThenCounts) {
    TWebVerification o;
    o.Word = TWebVerification::vwDiffers;
    o.Pages = o.Answered = 9;
    o.Differing = QStringList{QStringLiteral("a.htm"), QStringLiteral("b.htm")};
    EXPECT_EQ(
        TWebVerification::SummaryText(o),
        QStringLiteral("The device does not serve the new web file: a.htm and b.htm differ."));
    o.Differing << QStringLiteral("c.htm") << QStringLiteral("d.htm") << QStringLiteral("e.htm");
    o.Missing =
        QStringList{QStringLiteral("x.gif"), QStringLiteral("y.gif"), QStringLiteral("z.gif")};
    EXPECT_EQ(TWebVerification::SummaryText(o),
              QStringLiteral("The device does not serve the new web file: a.htm, b.htm and 3 "
                             "more differ; x.gif, y.gif and z.gif are missing."));

    // A web file of bare entries only: nothing is asked, nothing proved.
    TWebVerifier verifier;
    QSignalSpy finished(&verifier, &TWebVerifier::Finished);
    verifier.Start(QStringLiteral("127.0.0.1"), {{"notes.zzz", "bare"}});
    ASSERT_EQ(finished.size(), 1);
    EXPECT_EQ(finished.first().first().value<TWebVerification>().Summary,
              QStringLiteral("The web file holds no page that can be checked over HTTP."));
}

} // namespace
