// The preview as a technician sees it: a real headless browser loads a sample site from
// "quillet-cli webfile serve" and the test reads what it rendered. It runs inside the test LAN,
// so the browser cannot reach any network but the lab's own.
#include "app/cli/tests/cliprogram.h"
#include "packer/webfile.h"
#include "tools/testsupport/lab.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QCoreApplication>
#include <QImage>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace {

QByteArray pngImage(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return png;
}

// The page writes the image's natural size into its title and into an element once loaded.
const char *const kPage = R"(<!DOCTYPE html>
<html><head><title>loading</title><link rel="stylesheet" href="style.css"></head>
<body><img id="logo" src="logo.png">
<p id="size"></p>
<script src="size.js"></script>
</body></html>
)";

const char *const kScript = R"(window.addEventListener('load', function () {
  var img = document.getElementById('logo');
  var size = img.naturalWidth + 'x' + img.naturalHeight;
  document.getElementById('size').textContent = size;
  document.title = 'Station preview ' + size;
});
)";

} // namespace

TEST(BrowserPreview, HeadlessBrowserRendersTheServedSite) {
    if (!labtest::inLab()) {
        GTEST_SKIP() << labtest::notInLab;
    }
    const QString browser = QStandardPaths::findExecutable(QStringLiteral("chromium"));
    if (browser.isEmpty()) {
        GTEST_SKIP() << "chromium is not installed (tools/install-deps installs it)";
    }
    int argc = 1;
    char arg0[] = "browserpreview_test";
    char *argv[] = {arg0, nullptr};
    QCoreApplication app(argc, argv);

    QTemporaryDir dir;
    const QByteArray png = pngImage(37, 23);
    const std::string site = *webfile::build({
        {"index.htm", webfile::replyHead("text/html") + kPage},
        {"logo.png", webfile::replyHead("image/png") + png.toStdString()},
        {"size.js", webfile::replyHead("text/javascript") + kScript},
        {"style.css", "body { margin: 0 }"}, // no head: served with a minimal reply
    });
    const QString file = dir.filePath(QStringLiteral("site.pmf"));
    QFile out(file);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(site.data(), static_cast<qint64>(site.size()));
    out.close();

    QProcess server;
    server.start(cliProgram(), {QStringLiteral("webfile"), QStringLiteral("serve"), file,
                                QStringLiteral("--port"), QStringLiteral("0")});
    ASSERT_TRUE(server.waitForReadyRead(10000));
    const QString first = QString::fromUtf8(server.readLine());
    const QRegularExpressionMatch address =
        QRegularExpression(QStringLiteral("http://127\\.0\\.0\\.1:\\d+/")).match(first);
    ASSERT_TRUE(address.hasMatch()) << first.toStdString();

    QProcess chromium;
    chromium.start(browser,
                   {QStringLiteral("--headless"), QStringLiteral("--no-sandbox"),
                    QStringLiteral("--disable-gpu"), QStringLiteral("--disable-quic"),
                    QStringLiteral("--no-first-run"),
                    QStringLiteral("--disable-background-networking"),
                    QStringLiteral("--disable-component-update"), QStringLiteral("--disable-sync"),
                    QStringLiteral("--user-data-dir=") + dir.filePath(QStringLiteral("profile")),
                    QStringLiteral("--dump-dom"), address.captured()});
    ASSERT_TRUE(chromium.waitForFinished(90000)) << "the browser did not end in time";
    const QString dom = QString::fromUtf8(chromium.readAllStandardOutput());
    server.terminate();
    server.waitForFinished(5000);

    EXPECT_NE(dom.indexOf(QStringLiteral("<title>Station preview 37x23</title>")), -1)
        << dom.toStdString() << chromium.readAllStandardError().toStdString();
    EXPECT_NE(dom.indexOf(QStringLiteral("<p id=\"size\">37x23</p>")), -1);
    const QString log = QString::fromUtf8(server.readAllStandardOutput());
    EXPECT_NE(log.indexOf(QStringLiteral("GET /logo.png HTTP/1.1 -> 200")), -1)
        << log.toStdString();
    EXPECT_NE(log.indexOf(QStringLiteral("GET /style.css HTTP/1.1 -> 200")), -1);
}
