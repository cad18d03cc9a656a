// Uploads through the real client to simulated devices of the test LAN.
#include "app/workflows/deviceupload.h"

#include "app/workflows/tests/recordingreport.h"
#include "support/echohub.h"
#include "support/icmpsocketecho.h"
#include "tools/testsupport/files.h"
#include "tools/testsupport/lab.h"
#include "tools/testsupport/printers.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <iostream>
#include <map>

namespace {

using testing::ElementsAre;

using labtest::Address;

QByteArray Received(int device, const char *name) {
    QFile file(QString::fromStdString(labtest::tftpDir(device)) + QLatin1Char('/') +
               QLatin1String(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The system's echo service with every wait cut to a tenth (an echo to at most 200 ms), so a
// full restart wait of silent cycles takes seconds.
TEchoEnvironment QuickEcho() {
    class TQuick : public TEchoService {
    public:
        explicit TQuick(std::unique_ptr<TEchoService> inner)
            : FInner(std::move(inner)) {}
        TEchoReply Echo(quint32 address, int timeoutMs) override {
            return FInner->Echo(address, std::min(timeoutMs, 200));
        }

    private:
        std::unique_ptr<TEchoService> FInner;
    };
    TEchoEnvironment echo = TEchoEnvironment::System();
    echo.OpenService = []() -> std::unique_ptr<TEchoService> {
        std::unique_ptr<TEchoService> inner = TIcmpSocket::Open();
        if (!inner)
            return nullptr;
        return std::make_unique<TQuick>(std::move(inner));
    };
    echo.Sleep = [](int milliseconds) {
        QThread::msleep(milliseconds / 10);
    };
    return echo;
}

class DeviceUploadLabTest : public testing::Test {
protected:
    void SetUp() override {
        if (!labtest::inLab())
            GTEST_SKIP() << labtest::notInLab;
        ASSERT_TRUE(Dir.isValid());
        Settings.TickMs = 250;
        Settings.RestartPauseMs = 500;
        File = Dir.path() + QStringLiteral("/Station [7]_WEB1_01.pmf");
        Bytes = testsupport::RandomWebFile(70000);
        QFile file(File);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(Bytes);
    }

    TDeviceUpload::TOutcome Run(bool web, int device) {
        Report = TRecordingReport();
        TDeviceUpload upload(Report, nullptr, Settings);
        QSignalSpy finished(&upload, &TDeviceUpload::Finished);
        if (web)
            upload.StartWeb(Address(device), File);
        else
            upload.StartFirmware(Address(device), File);
        EXPECT_TRUE(WaitForSignal(finished, 120000));
        return finished.isEmpty() ? TDeviceUpload::uoInternalError
                                  : finished.first().first().value<TDeviceUpload::TOutcome>();
    }

    QTemporaryDir Dir;
    QString File;
    QByteArray Bytes;
    TUploadSettings Settings;
    TRecordingReport Report;
};

TEST_F(DeviceUploadLabTest, WebFileLandsAndTheDeviceComesBack) {
    ASSERT_TRUE(labtest::restartDevice(1, {"--restart-ms", "1500"}));
    EXPECT_EQ(Run(true, 1), TDeviceUpload::uoDone);
    EXPECT_EQ(Received(1, "WEB1"), Bytes);
    EXPECT_THAT(Report.Lines(), ElementsAre(QStringLiteral("Web upload...   \\") + File,
                                            QStringLiteral("Process done."), QString(),
                                            QStringLiteral("Device restart..."),
                                            QStringLiteral("Device restart done."),
                                            QStringLiteral("Web upload successful."), QString()));
    EXPECT_TRUE(labtest::waitForLog(1, "link up", std::chrono::seconds(5)));
    EXPECT_TRUE(labtest::ping(labtest::deviceAddress(1)));
}

TEST_F(DeviceUploadLabTest, DeviceThatStaysAwayGivesTheRestartTimeout) {
    ASSERT_TRUE(labtest::restartDevice(2, {"--restart-ms", "600000", "--restart-after-ms", "0"}));
    Settings.Echo = QuickEcho();
    Settings.ExtraCycles = 4;
    EXPECT_EQ(Run(true, 2), TDeviceUpload::uoRestartTimeout);
    EXPECT_EQ(Received(2, "WEB1"), Bytes);
    EXPECT_THAT(Report.Lines().mid(1),
                ElementsAre(QStringLiteral("Process done."), QString(),
                            QStringLiteral("Device restart..."),
                            QStringLiteral("Device restart timeout elapsed."),
                            QStringLiteral("It is possible you will not connect to device a few "
                                           "time."),
                            QStringLiteral("Wait some seconds after next device connection."),
                            QStringLiteral("Web upload successful."), QString()));
    EXPECT_TRUE(labtest::restartDevice(2));
}

// Each way a transfer fails ends with the client's own line, then one in a technician's words,
// decided by the client's real exit status (71 refused, 28 silent, 26 unreadable file) and, for
// a silent transfer, one echo.
TEST_F(DeviceUploadLabTest, FailedTransfersSayWhatHappened) {
    Settings.Echo = QuickEcho();
    struct Case {
        const char *name;
        std::function<bool()> arrange;
        int device;
        bool missingFile;
        TDeviceUpload::TOutcome outcome;
        QString reason;
        const char *clientStatus; // the exit status, as the client prints it
    };
    const Case cases[] = {
        {"read-only TFTP server", [] { return labtest::setTftp(3, labtest::Tftp::ReadOnly); }, 3,
         false, TDeviceUpload::uoFailed,
         QStringLiteral("The device refused the file: its TFTP server may be write-protected or "
                        "busy."),
         "curl: (71)"},
        {"TFTP server off", [] { return labtest::setTftp(3, labtest::Tftp::Off); }, 3, false,
         TDeviceUpload::uoFailed,
         QStringLiteral("The device at 192.0.2.13 answers, but its TFTP server does not: it may "
                        "be switched off or busy."),
         "curl: (28)"},
        {"link down", [] { return labtest::setLink(3, false); }, 3, false,
         TDeviceUpload::uoNoAnswer,
         QStringLiteral("The device did not answer at 192.0.2.13: is it switched on and at this "
                        "address?"),
         "curl: (28)"},
        {"missing file", [] { return true; }, 2, true, TDeviceUpload::uoFailed, QString(),
         "curl: (26)"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(labtest::restartDevice(c.device));
        ASSERT_TRUE(c.arrange());
        const QString file = c.missingFile ? Dir.path() + QStringLiteral("/gone.pmf") : File;
        const QString reason =
            c.missingFile ? QStringLiteral("The file %1 could not be read.").arg(file) : c.reason;
        for (bool web : {true, false}) {
            SCOPED_TRACE(web ? "web" : "firmware");
            TRecordingReport report;
            TDeviceUpload upload(report, nullptr, Settings);
            QSignalSpy finished(&upload, &TDeviceUpload::Finished);
            if (web)
                upload.StartWeb(Address(c.device), file);
            else
                upload.StartFirmware(Address(c.device), file);
            ASSERT_TRUE(WaitForSignal(finished, 60000));
            EXPECT_EQ(finished.first().first().value<TDeviceUpload::TOutcome>(), c.outcome);
            EXPECT_EQ(upload.Reason(), reason);
            const QStringList lines = report.Lines();
            const QString all = lines.join(QLatin1Char('\n'));
            EXPECT_TRUE(lines.value(web ? 1 : 0).startsWith(QStringLiteral("curl: ")))
                << all.toStdString();
            // No "Process done." for a transfer that failed.
            const QStringList end =
                web ? QStringList{reason, QStringLiteral("Web upload failed."), QString()}
                    : QStringList{reason, QStringLiteral("Process failed?")};
            EXPECT_FALSE(lines.contains(QStringLiteral("Process done."))) << all.toStdString();
            EXPECT_EQ(lines.mid(lines.size() - end.size()), end) << all.toStdString();
            EXPECT_TRUE(all.contains(QString::fromLatin1(c.clientStatus))) << all.toStdString();
        }
    }
    EXPECT_TRUE(labtest::restartDevice(3));
}

// Three uploads at once whose echoes all go through one shared socket, at the restart wait's
// real times: one device comes back, one takes the file and stays away (one silent cycle of
// three echoes of 3 s, each with its pause, and the pause after the cycle), one is switched
// off (one echo after the client gives up). None waits for another.
TEST_F(DeviceUploadLabTest, UploadsSharingOneEchoSocketKeepTheirOwnTimes) {
    ASSERT_TRUE(labtest::restartDevice(1, {"--restart-ms", "1500"}));
    ASSERT_TRUE(labtest::restartDevice(2, {"--restart-ms", "600000", "--restart-after-ms", "0"}));
    ASSERT_TRUE(labtest::restartDevice(3));
    ASSERT_TRUE(labtest::setLink(3, false));
    Settings.ExtraCycles = 0;
    Settings.EchoHub = TEchoHub::Open();
    ASSERT_TRUE(Settings.EchoHub);
    std::map<int, std::pair<TDeviceUpload::TOutcome, qint64>> ended;
    std::vector<std::unique_ptr<TRecordingReport>> reports;
    std::vector<std::unique_ptr<TDeviceUpload>> uploads;
    QElapsedTimer clock;
    clock.start();
    for (int device : {1, 2, 3}) {
        reports.push_back(std::make_unique<TRecordingReport>());
        uploads.push_back(std::make_unique<TDeviceUpload>(*reports.back(), nullptr, Settings));
        QObject::connect(uploads.back().get(), &TDeviceUpload::Finished,
                         [&ended, &clock, device](TDeviceUpload::TOutcome outcome) {
                             ended[device] = {outcome, clock.elapsed()};
                         });
        uploads.back()->StartWeb(Address(device), File);
    }
    while (ended.size() < 3 && clock.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
    ASSERT_EQ(ended.size(), 3u);
    EXPECT_EQ(ended[1].first, TDeviceUpload::uoDone);
    EXPECT_EQ(Received(1, "WEB1"), Bytes);
    EXPECT_EQ(ended[2].first, TDeviceUpload::uoRestartTimeout);
    EXPECT_GE(ended[2].second, HostAnswerWaitLimitMs(0));
    EXPECT_LT(ended[2].second, HostAnswerWaitLimitMs(0) + 3000);
    EXPECT_EQ(ended[3].first, TDeviceUpload::uoNoAnswer);
    // The client's 10 s and one echo of 3 s with its pause, beside the others.
    EXPECT_LT(ended[3].second, 10000 + 3500 + 3000);
    EXPECT_EQ(Settings.EchoHub->InFlight(), 0);
    EXPECT_TRUE(labtest::setLink(3, true));
    EXPECT_TRUE(labtest::restartDevice(2));
}

TEST_F(DeviceUploadLabTest, FirmwareLandsWithoutRestartWait) {
    ASSERT_TRUE(labtest::restartDevice(3, {"--restart-ms", "600000"}));
    EXPECT_EQ(Run(false, 3), TDeviceUpload::uoDone);
    EXPECT_EQ(Received(3, "X5"), Bytes);
    EXPECT_THAT(Report.Lines(), ElementsAre(QStringLiteral("Process done."), QString(),
                                            QStringLiteral("Firmware upload successful.")));
    EXPECT_TRUE(labtest::restartDevice(3));
}

// The limit counts time without headway. Over a link slowed to a trickle a transfer outlasts the
// limit several times and still lands; when the device goes away part-way, the client is cut
// within the limit and the lines say how far it got, with neither "Process done." nor a
// restart wait.
TEST_F(DeviceUploadLabTest, SlowLinkLandsAndAStallIsCutWithinTheLimit) {
    Settings.WebLimitMs = 1000;
    Settings.FirmwareLimitMs = 1000;
    ASSERT_TRUE(labtest::restartDevice(1, {"--restart-ms", "1500"}));
    ASSERT_TRUE(labtest::setLinkRate(1, 8));
    {
        TDeviceUpload upload(Report, nullptr, Settings);
        QSignalSpy restart(&upload, &TDeviceUpload::RestartWaitLeft);
        QSignalSpy finished(&upload, &TDeviceUpload::Finished);
        QElapsedTimer clock;
        clock.start();
        upload.StartWeb(Address(1), File);
        ASSERT_TRUE(WaitForSignal(restart, 60000));
        const qint64 sendingMs = clock.elapsed();
        ASSERT_TRUE(WaitForSignal(finished, 60000));
        EXPECT_EQ(finished.first().first().value<TDeviceUpload::TOutcome>(), TDeviceUpload::uoDone);
        std::cout << "slow link: 70000 bytes sent in " << sendingMs << " ms" << std::endl;
        EXPECT_GT(sendingMs, 3 * Settings.WebLimitMs);
    }
    EXPECT_EQ(Received(1, "WEB1"), Bytes);
    EXPECT_THAT(Report.Lines().last(3),
                ElementsAre(QStringLiteral("Device restart done."),
                            QStringLiteral("Web upload successful."), QString()));

    for (bool web : {true, false}) {
        SCOPED_TRACE(web ? "web" : "firmware");
        ASSERT_TRUE(labtest::restartDevice(1, {"--restart-ms", "600000"}));
        TRecordingReport report;
        TDeviceUpload upload(report, nullptr, Settings);
        QSignalSpy finished(&upload, &TDeviceUpload::Finished);
        int percent = 0;
        QObject::connect(&upload, &TDeviceUpload::TransferProgress,
                         [&percent](int value) { percent = value; });
        if (web)
            upload.StartWeb(Address(1), File);
        else
            upload.StartFirmware(Address(1), File);
        QElapsedTimer waiting;
        waiting.start();
        while (percent < 20 && finished.isEmpty() && waiting.elapsed() < 20000)
            QTest::qWait(20);
        ASSERT_TRUE(finished.isEmpty());
        ASSERT_GE(percent, 20);
        ASSERT_TRUE(labtest::setLink(1, false));
        QElapsedTimer clock;
        clock.start();
        ASSERT_TRUE(WaitForSignal(finished, 20000));
        // The limit, one tick, and the kill.
        EXPECT_LT(clock.elapsed(), Settings.WebLimitMs + 1500);
        EXPECT_EQ(finished.first().first().value<TDeviceUpload::TOutcome>(),
                  TDeviceUpload::uoUploadTimeout);
        const QStringList lines = report.Lines();
        const QString all = lines.join(QLatin1Char('\n'));
        const QString failedAt = QStringLiteral("Upload failed at %1 %.").arg(percent);
        EXPECT_TRUE(lines.contains(failedAt)) << all.toStdString();
        EXPECT_EQ(upload.Reason(),
                  QStringLiteral("The transfer stopped at %1 %: the device acknowledged nothing "
                                 "for 1 s.")
                      .arg(percent));
        EXPECT_FALSE(all.contains(QStringLiteral("Process done."))) << all.toStdString();
        EXPECT_FALSE(all.contains(QStringLiteral("Device restart"))) << all.toStdString();
        EXPECT_EQ(lines.last(web ? 2 : 1).first(),
                  web ? QStringLiteral("Web upload failed.") : QStringLiteral("Process failed?"))
            << all.toStdString();
        EXPECT_EQ(labtest::runningChildren("curl"), 0);
    }
    EXPECT_TRUE(labtest::setLinkRate(1, 0));
    EXPECT_TRUE(labtest::restartDevice(1));
}

} // namespace
