// A web file sent over TFTP to simulated devices of the test LAN, then checked over HTTP against
// what each device serves after its restart.
#include "app/workflows/webverifier.h"

#include "app/workflows/tests/recordingreport.h"
#include "tools/testsupport/files.h"
#include "tools/testsupport/lab.h"
#include "tools/testsupport/printers.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

std::string Stored(const char *mime, const std::string &body) {
    return webfile::replyHead(mime) + body;
}

TEST(WebVerifierLab, EachDeviceShowsWhatItServesAfterTheUpload) {
    if (!labtest::inLab())
        GTEST_SKIP() << labtest::notInLab;
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string logo = Stored("image/gif", std::string("GIF89a\0\x01\x02", 9));
    const std::vector<webfile::Entry> site = {
        {"index.htm", Stored("text/html", "<html>station 7, version 2</html>")},
        {"logo.gif", logo},
        {"style.css", Stored("text/css", std::string(20000, 's'))},
        {"notes.zzz", "packed without a reply head"}};
    const QString file = testsupport::WriteWebFile(dir, "Station_WEB1_02.pmf", site);
    const QString old = testsupport::WriteWebFile(
        dir, "Station_WEB1_01.pmf",
        {{"index.htm", Stored("text/html", "<html>station 7, version 1</html>")},
         {"logo.gif", logo}});
    QFile read(file);
    ASSERT_TRUE(read.open(QIODevice::ReadOnly));
    const QByteArray bytes = read.readAll();
    const QList<TWebPage> pages = TWebVerifier::PagesOf(webfile::parse(
        std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size()))));

    struct Case {
        std::vector<std::string> options;
        TWebVerification::TWord word;
        QString summary;
    };
    const Case cases[] = {
        {{},
         TWebVerification::vwVerified,
         QStringLiteral("The device serves the new web file: 3 of 3 pages identical, 1 file of "
                        "unknown extension not checked.")},
        {{"--web-file", old.toStdString(), "--http-previous"},
         TWebVerification::vwDiffers,
         QStringLiteral("The device does not serve the new web file: index.htm differs; "
                        "style.css is missing.")},
        {{"--http-drop", "logo.gif"},
         TWebVerification::vwDiffers,
         QStringLiteral("The device does not serve the new web file: logo.gif is missing.")},
        {{"--no-http"},
         TWebVerification::vwNotVerified,
         QStringLiteral("The device serves no web pages over HTTP: the new web file could not be "
                        "checked.")},
    };
    for (int device = 1; device <= 4; ++device) {
        SCOPED_TRACE("dev" + std::to_string(device));
        const Case &c = cases[device - 1];
        std::vector<std::string> options{"--restart-ms", "300", "--restart-after-ms", "100"};
        options.insert(options.end(), c.options.begin(), c.options.end());
        ASSERT_TRUE(labtest::restartDevice(device, options));
        const std::string address = labtest::deviceAddress(device);
        ASSERT_EQ(labtest::run({"curl", "-sS", "--tftp-no-options", "--connect-timeout", "10", "-T",
                                file.toStdString(), "tftp://" + address + "/WEB1"},
                               false),
                  0);
        ASSERT_TRUE(labtest::waitForLog(device, "link up", std::chrono::seconds(10)));
        EXPECT_EQ(labtest::readFile(labtest::tftpDir(device) + "/WEB1"), bytes.toStdString());

        TWebVerifier verifier;
        QSignalSpy finished(&verifier, &TWebVerifier::Finished);
        QElapsedTimer clock;
        clock.start();
        verifier.Start(QString::fromStdString(address), pages);
        ASSERT_TRUE(WaitForSignal(finished, 30000));
        const TWebVerification outcome = finished.first().first().value<TWebVerification>();
        EXPECT_EQ(outcome.Word, c.word);
        EXPECT_EQ(outcome.Summary, c.summary)
            << outcome.Details.join(QLatin1Char('\n')).toStdString();
        // A refused connection needs no waiting for the limit.
        EXPECT_LT(clock.elapsed(), 4000);
    }
    EXPECT_FALSE(labtest::logLines(1, "http request=\"GET /style.css").empty());
    EXPECT_TRUE(labtest::logLines(1, "notes.zzz").empty());
    for (int device = 2; device <= 4; ++device)
        EXPECT_TRUE(labtest::restartDevice(device));
}

} // namespace
