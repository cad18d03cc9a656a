#include "app/workflows/deviceupload.h"

#include "app/workflows/echowait.h"
#include "app/workflows/tests/recordingreport.h"
#include "app/workflows/uploadlock.h"
#include "packer/webfile.h"
#include "support/brimolog.h"
#include "tools/testsupport/printers.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>

#include <poll.h>
#include <signal.h>

// Nothing here reaches a network: the client is a script and the echo service a fake.
namespace {

using testing::ElementsAre;
using testing::UnorderedElementsAre;

const QString Device = QStringLiteral("192.0.2.11");

// Answers after a given number of echoes; -1 never.
class TFakeEcho : public TEchoService {
public:
    TFakeEcho(std::atomic<int> &echoes, int answerAfter)
        : FEchoes(echoes)
        , FAnswerAfter(answerAfter) {}
    TEchoReply Echo(quint32, int) override {
        TEchoReply reply;
        reply.Answered = FAnswerAfter >= 0 && ++FEchoes > FAnswerAfter;
        if (FAnswerAfter < 0)
            ++FEchoes;
        return reply;
    }

private:
    std::atomic<int> &FEchoes;
    int FAnswerAfter;
};

class DeviceUploadTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Dir.isValid());
        // The device locks of cases that run side by side stay apart.
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(Dir.path()));
        Settings.TickMs = 20;
        Settings.RestartPauseMs = 10;
        Settings.Echo.Resolve = &ResolveHostAddress;
        Settings.Echo.Sleep = [](int) {
        };
        AnswerAfter(0);
        File = Dir.path() + QStringLiteral("/my site[1]_WEB1_01.pmf");
        QFile file(File);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        const std::string web = *webfile::build({{"index.htm", "<p>Station 7</p>"}});
        file.write(web.data(), static_cast<qint64>(web.size()));
    }

    void AnswerAfter(int echoes) {
        Settings.Echo.OpenService = [this, echoes]() -> std::unique_ptr<TEchoService> {
            return std::make_unique<TFakeEcho>(Echoes, echoes);
        };
    }

    // A client that prints its words one a line, then runs the given shell lines.
    void Client(const QByteArray &body) {
        Settings.ClientProgram = Dir.path() + QStringLiteral("/client");
        QFile script(Settings.ClientProgram);
        ASSERT_TRUE(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\n" + body + "\n");
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    TDeviceUpload::TOutcome Run(bool web, const QString &address, const QString &file,
                                TBrimoLog *log = nullptr) {
        TDeviceUpload upload(Report, log, Settings);
        QSignalSpy finished(&upload, &TDeviceUpload::Finished);
        if (web)
            upload.StartWeb(address, file);
        else
            upload.StartFirmware(address, file);
        EXPECT_TRUE(WaitForSignal(finished, 20000));
        EXPECT_FALSE(upload.Running());
        return finished.isEmpty() ? TDeviceUpload::uoInternalError
                                  : finished.first().first().value<TDeviceUpload::TOutcome>();
    }

    QString LogFile() const { return Dir.path() + QStringLiteral("/qlt.log"); }
    QString ConfigFile() const { return Dir.path() + QStringLiteral("/cil.cnf"); }
    void WriteOptionsFile() {
        QFile config(ConfigFile());
        ASSERT_TRUE(config.open(QIODevice::WriteOnly));
        config.write("woComm\n");
    }
    // The log's messages without their time stamps.
    QStringList LogMessages() const {
        QFile file(LogFile());
        QStringList messages;
        if (!file.open(QIODevice::ReadOnly))
            return messages;
        for (const QString &line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
            if (!line.isEmpty())
                messages.append(line.mid(22).trimmed());
        }
        return messages;
    }

    QString WebHeader() const { return QStringLiteral("Web upload...   \\") + File; }

    QTemporaryDir Dir;
    QString File;
    TUploadSettings Settings;
    TRecordingReport Report;
    std::atomic<int> Echoes{0};
};

TEST_F(DeviceUploadTest, MissingAddressOrFileSendsNothing) {
    Client("touch \"$0.ran\"");
    const QString header = QStringLiteral("Web upload...   \\");
    const QString fwHeader = QStringLiteral("Firmware upload...   \\");

    // The web upload looks at the address first, the firmware upload at the file.
    EXPECT_EQ(Run(true, {}, {}), TDeviceUpload::uoNothingSent);
    EXPECT_THAT(Report.Info, ElementsAre(header, QStringLiteral("No IP adress selected.")));
    Run(true, QStringLiteral("0.0.0.0"), File);
    EXPECT_THAT(Report.Info, ElementsAre(WebHeader(), QStringLiteral("No IP adress selected.")));
    Run(true, Device, {});
    EXPECT_THAT(Report.Info, ElementsAre(header, QStringLiteral("No input (web) file selected.")));
    Run(true, QStringLiteral("192.0.2"), File);
    EXPECT_THAT(Report.Info, ElementsAre(WebHeader(), QStringLiteral("IP address syntax error.")));

    EXPECT_EQ(Run(false, {}, {}), TDeviceUpload::uoNothingSent);
    EXPECT_THAT(Report.Info, ElementsAre(fwHeader, QStringLiteral("No input (fw) file selected.")));
    Run(false, QStringLiteral("0.0.0.0"), File);
    EXPECT_THAT(Report.Info,
                ElementsAre(fwHeader + File, QStringLiteral("No IP address selected.")));
    Run(false, QStringLiteral("example.com"), File);
    EXPECT_THAT(Report.Info,
                ElementsAre(fwHeader + File, QStringLiteral("IP address syntax error.")));

    EXPECT_FALSE(QFile::exists(Settings.ClientProgram + QStringLiteral(".ran")));
    EXPECT_EQ(Echoes.load(), 0);
}

TEST_F(DeviceUploadTest, WebUploadWaitsForTheRestart) {
    Client("for word; do echo \"[$word]\"; done");
    AnswerAfter(4);
    WriteOptionsFile();
    TBrimoLog log(LogFile(), ConfigFile());

    EXPECT_EQ(Run(true, Device, File, &log), TDeviceUpload::uoDone);

    EXPECT_THAT(Report.Lines(),
                ElementsAre(WebHeader(), QStringLiteral("[-#S]"), QStringLiteral("[--globoff]"),
                            QStringLiteral("[--tftp-no-options]"),
                            QStringLiteral("[--connect-timeout]"), QStringLiteral("[10]"),
                            QStringLiteral("[-T]"), QLatin1Char('[') + File + QLatin1Char(']'),
                            QStringLiteral("[tftp://192.0.2.11/WEB1]"),
                            QStringLiteral("Process done."), QString(),
                            QStringLiteral("Device restart..."),
                            QStringLiteral("Device restart done."),
                            QStringLiteral("Web upload successful."), QString()));
    EXPECT_EQ(Echoes.load(), 5);
    const QString commandLine =
        Settings.ClientProgram +
        QStringLiteral(" -#S --globoff --tftp-no-options --connect-timeout 10 -T \"") + File +
        QStringLiteral("\" tftp://192.0.2.11/WEB1");
    // The client's lines stay in the log as well, where Info is cleared by the next upload.
    const QStringList messages = LogMessages();
    EXPECT_THAT(messages.mid(0, 3), ElementsAre(QStringLiteral("Comm: cmd=") + commandLine,
                                                QStringLiteral("Comm: line=") + commandLine,
                                                QStringLiteral("Comm: out=[-#S]")));
    EXPECT_EQ(messages.size(), 10);
}

TEST_F(DeviceUploadTest, MeterGivesProgressAndStaysOutOfInfo) {
    // As the client writes it: carriage returns between the meter's states.
    Client("printf '\\r#####    33.3%%'; sleep 0.1; printf '\\r###########  66.7%%'; sleep 0.1;"
           " printf '\\r################ 100.0%%\\n'");
    Settings.RestartPauseMs = 1500;
    TDeviceUpload upload(Report, nullptr, Settings);
    QSignalSpy progress(&upload, &TDeviceUpload::TransferProgress);
    QSignalSpy left(&upload, &TDeviceUpload::RestartWaitLeft);
    QSignalSpy finished(&upload, &TDeviceUpload::Finished);
    upload.StartWeb(Device, File);
    ASSERT_TRUE(WaitForSignal(finished, 10000));
    QList<int> percents;
    for (const QList<QVariant> &signal : progress)
        percents.append(signal.first().toInt());
    EXPECT_EQ(percents, (QList<int>{0, 33, 66, 100}));
    EXPECT_THAT(Report.Lines(), ElementsAre(WebHeader(), QStringLiteral("Process done."), QString(),
                                            QStringLiteral("Device restart..."),
                                            QStringLiteral("Device restart done."),
                                            QStringLiteral("Web upload successful."), QString()));
    // The whole worst case first, then only the closing pause, counting down.
    ASSERT_GE(left.size(), 2);
    EXPECT_EQ(left.first().first().toInt(), (HostAnswerWaitLimitMs(20) + 1500 + 999) / 1000);
    EXPECT_EQ(left[1].first().toInt(), 2);
    EXPECT_LE(left.last().first().toInt(), 1);
    EXPECT_EQ(TDeviceUpload::RestartText(235), QStringLiteral("Device restart: at most 3:55 more"));
}

TEST_F(DeviceUploadTest, CancelKillsTheClientAndEndsAnEchoUnderWay) {
    const QString pidFile = Dir.path() + QStringLiteral("/pid");
    Client("echo $$ > '" + pidFile.toLocal8Bit() + "'; exec sleep 30");
    TDeviceUpload upload(Report, nullptr, Settings);
    QSignalSpy finished(&upload, &TDeviceUpload::Finished);
    upload.StartFirmware(Device, File);
    QTRY_VERIFY(QFile::exists(pidFile) && QFile(pidFile).size() > 0);
    QFile file(pidFile);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const pid_t pid = file.readAll().trimmed().toInt();
    upload.Cancel();
    ASSERT_EQ(finished.size(), 1);
    EXPECT_EQ(finished.first().first().value<TDeviceUpload::TOutcome>(),
              TDeviceUpload::uoCancelled);
    EXPECT_EQ(upload.Reason(), QStringLiteral("Stopped before the upload ended."));
    EXPECT_NE(::kill(pid, 0), 0);

    // An echo that waits for its answer ends when the descriptor it was given turns readable.
    class TInterruptibleEcho : public TEchoService {
    public:
        TEchoReply Echo(quint32, int timeoutMs) override {
            pollfd fd{FInterrupt, POLLIN, 0};
            ::poll(&fd, 1, timeoutMs);
            return {};
        }
        void SetInterrupt(int fd) override { FInterrupt = fd; }
        int FInterrupt = -1;
    };
    Client("exit 0");
    Settings.Echo.OpenService = [] {
        return std::make_unique<TInterruptibleEcho>();
    };
    TDeviceUpload web(Report, nullptr, Settings);
    QSignalSpy webFinished(&web, &TDeviceUpload::Finished);
    web.StartWeb(Device, File);
    QTRY_VERIFY(Report.Info.contains(QStringLiteral("Device restart...")));
    QTest::qWait(100);
    QElapsedTimer clock;
    clock.start();
    web.Cancel();
    EXPECT_LT(clock.elapsed(), 500);
    ASSERT_EQ(webFinished.size(), 1);
    EXPECT_EQ(webFinished.first().first().value<TDeviceUpload::TOutcome>(),
              TDeviceUpload::uoCancelled);
    // The file is on the device by now; only the wait for its restart was given up.
    EXPECT_EQ(web.Reason(), QStringLiteral("File sent; stopped waiting for the restart."));
}

// A result already on its way when the wait is cancelled never arrives, and the same wait
// object serves the next wait.
TEST_F(DeviceUploadTest, CancelledEchoWaitHandsBackNothing) {
    AnswerAfter(-1);
    TThreadEchoWait wait(Settings.Echo, {});
    QList<int> results;
    wait.WaitForAnswer(Device, 0, [&](int result) { results << result; });
    // The silent cycle takes no time on this clock: its result is queued by now.
    QThread::msleep(200);
    wait.Cancel();
    wait.Echo(Device, 100, [&](bool answered) { results << (answered ? 1 : 0); });
    QElapsedTimer clock;
    clock.start();
    while (results.isEmpty() && clock.elapsed() < 5000)
        QTest::qWait(10);
    QTest::qWait(50);
    EXPECT_EQ(results, QList<int>{0});
    EXPECT_EQ(Echoes.load(), 4);
}

TEST_F(DeviceUploadTest, DeviceThatNeverComesBack) {
    Client("exit 0");
    AnswerAfter(-1);
    EXPECT_EQ(Run(true, Device, File), TDeviceUpload::uoRestartTimeout);
    EXPECT_THAT(Report.Lines(),
                ElementsAre(WebHeader(), QStringLiteral("Process done."), QString(),
                            QStringLiteral("Device restart..."),
                            QStringLiteral("Device restart timeout elapsed."),
                            QStringLiteral("It is possible you will not connect to device a few "
                                           "time."),
                            QStringLiteral("Wait some seconds after next device connection."),
                            QStringLiteral("Web upload successful."), QString()));
    // 21 cycles of 3 attempts.
    EXPECT_EQ(Echoes.load(), 63);
}

TEST_F(DeviceUploadTest, EchoServiceThatCannotOpenIsAnInternalError) {
    Client("exit 0");
    Settings.Echo.OpenService = []() -> std::unique_ptr<TEchoService> {
        throw EPingError(QStringLiteral("Invalid handle"), QStringLiteral("no ping program"));
    };
    WriteOptionsFile();
    TBrimoLog log(LogFile(), ConfigFile());
    EXPECT_EQ(Run(true, Device, File, &log), TDeviceUpload::uoInternalError);
    EXPECT_THAT(Report.Lines().mid(3),
                ElementsAre(QStringLiteral("Device restart..."), QStringLiteral("Internal error."),
                            QStringLiteral("Web upload failed."), QString()));
    // The log says why no echo could be made.
    EXPECT_THAT(LogMessages(), testing::Contains(QStringLiteral(
                                   "ICMP echo to 192.0.2.11: Invalid handle (no ping program)")));
}

TEST_F(DeviceUploadTest, FailedTransferSkipsTheRestartWait) {
    Client("echo 'client: (69) TFTP: Access Violation' >&2; exit 69");
    const QString refused =
        QStringLiteral("The device refused the file: its TFTP server may be write-protected or "
                       "busy.");
    EXPECT_EQ(Run(true, Device, File), TDeviceUpload::uoFailed);
    // No "Process done." for a transfer that failed.
    EXPECT_THAT(Report.Lines(),
                ElementsAre(WebHeader(), QStringLiteral("client: (69) TFTP: Access Violation"),
                            refused, QStringLiteral("Web upload failed."), QString()));
    EXPECT_EQ(Echoes.load(), 0);

    EXPECT_EQ(Run(false, Device, File), TDeviceUpload::uoFailed);
    EXPECT_THAT(Report.Lines(), ElementsAre(QStringLiteral("client: (69) TFTP: Access Violation"),
                                            refused, QStringLiteral("Process failed?")));

    // Refused part-way: how far it got comes first.
    Client("printf '\\r####   40.0%%\\n'; echo 'client: (69) TFTP: Disk full' >&2; exit 69");
    EXPECT_EQ(Run(true, Device, File), TDeviceUpload::uoFailed);
    EXPECT_THAT(Report.Lines(),
                ElementsAre(WebHeader(), QStringLiteral("client: (69) TFTP: Disk full"),
                            QStringLiteral("Upload failed at 40 %."), refused,
                            QStringLiteral("Web upload failed."), QString()));

    // The client takes a folder for a file and exits with 0 having sent nothing.
    Client("exit 0");
    EXPECT_EQ(Run(true, Device, Dir.path()), TDeviceUpload::uoFailed);
    EXPECT_THAT(Report.Lines().mid(1),
                ElementsAre(QStringLiteral("The file %1 could not be read.").arg(Dir.path()),
                            QStringLiteral("Web upload failed."), QString()));
}

// The layout check of the reader behind "webfile list": a refused file starts no client. A
// firmware image is no web file and is never checked so.
TEST_F(DeviceUploadTest, FileThatIsNoWebFileIsNotSent) {
    Client("touch \"$0.ran\"");
    const QString page = Dir.filePath(QStringLiteral("index.htm"));
    QFile html(page);
    ASSERT_TRUE(html.open(QIODevice::WriteOnly));
    html.write("<html><body>Station 7</body></html>\n");
    html.close();
    EXPECT_EQ(Run(true, Device, page), TDeviceUpload::uoNothingSent);
    const QString notWeb =
        QStringLiteral("index.htm is not a web file: it does not begin with \"PmF1\".");
    EXPECT_THAT(Report.Lines(), ElementsAre(QStringLiteral("Web upload...   \\") + page, notWeb,
                                            QStringLiteral("Web upload failed."), QString()));
    TDeviceUpload upload(Report, nullptr, Settings);
    upload.StartWeb(Device, page);
    EXPECT_EQ(upload.Reason(), notWeb);

    // The directory promises more than the file holds: cut short on the way.
    QFile cut(File);
    ASSERT_TRUE(cut.open(QIODevice::ReadWrite));
    ASSERT_TRUE(cut.resize(cut.size() - 3));
    cut.close();
    EXPECT_EQ(Run(true, Device, File), TDeviceUpload::uoNothingSent);
    EXPECT_THAT(Report.Lines()[1].toStdString(),
                testing::MatchesRegex("my site\\[1\\]_WEB1_01.pmf is not a web file: entry 1 "
                                      "\\(index.htm\\) runs past the end of the file: .*\\."));

    // Longer than any web file: refused by its length, the bytes unread.
    ASSERT_TRUE(QFile::resize(File, 16844038));
    EXPECT_EQ(Run(true, Device, File), TDeviceUpload::uoNothingSent);
    EXPECT_EQ(Report.Lines()[1], QStringLiteral("my site[1]_WEB1_01.pmf is not a web file: longer "
                                                "than 16844037 bytes, the most a web file can "
                                                "hold."));
    EXPECT_FALSE(QFile::exists(Settings.ClientProgram + QStringLiteral(".ran")));

    EXPECT_EQ(Run(false, Device, page), TDeviceUpload::uoDone);
    EXPECT_TRUE(QFile::exists(Settings.ClientProgram + QStringLiteral(".ran")));
}

// The lock per device holds from the start of the transfer to the end of the restart wait; a
// second upload to the device is refused at once, one to another device is not held up.
TEST_F(DeviceUploadTest, OneUploadPerDeviceAtATime) {
    Client("echo \"$8\" >> \"$0.sent\"; sleep 0.3");
    const QString sent = Settings.ClientProgram + QStringLiteral(".sent");
    AnswerAfter(2);
    TDeviceUpload first(Report, nullptr, Settings);
    QSignalSpy firstDone(&first, &TDeviceUpload::Finished);
    first.StartWeb(Device, File);
    TRecordingReport otherReport;
    TDeviceUpload other(otherReport, nullptr, Settings);
    QSignalSpy otherDone(&other, &TDeviceUpload::Finished);
    other.StartFirmware(Device, File);
    ASSERT_EQ(otherDone.size(), 1);
    EXPECT_EQ(otherDone.first().first().value<TDeviceUpload::TOutcome>(), TDeviceUpload::uoFailed);
    const QString busy = QStringLiteral("192.0.2.11 is already receiving an upload from this "
                                        "Quillet.");
    EXPECT_EQ(other.Reason(), busy);
    EXPECT_THAT(otherReport.Lines(), ElementsAre(busy, QStringLiteral("Process failed?")));
    TRecordingReport elseReport;
    TDeviceUpload elsewhere(elseReport, nullptr, Settings);
    QSignalSpy elsewhereDone(&elsewhere, &TDeviceUpload::Finished);
    elsewhere.StartFirmware(QStringLiteral("192.0.2.12"), File);
    // Still held while the first waits for the device to come back.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return Report.Info.contains(QStringLiteral("Device restart...")); }, 5000));
    other.StartWeb(Device, File);
    EXPECT_EQ(other.Reason(), busy);
    ASSERT_TRUE(WaitForSignal(firstDone, 10000));
    ASSERT_TRUE(WaitForSignal(elsewhereDone, 10000));
    EXPECT_EQ(firstDone.first().first().value<TDeviceUpload::TOutcome>(), TDeviceUpload::uoDone);
    EXPECT_EQ(elsewhereDone.first().first().value<TDeviceUpload::TOutcome>(),
              TDeviceUpload::uoDone);
    EXPECT_EQ(Run(false, Device, File), TDeviceUpload::uoDone);
    QFile log(sent);
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    // The first two ran side by side, in either order; the last came after both.
    const QList<QByteArray> lines = log.readAll().split('\n');
    ASSERT_EQ(lines.size(), 4);
    EXPECT_THAT(lines.mid(0, 2),
                UnorderedElementsAre("tftp://192.0.2.11/WEB1", "tftp://192.0.2.12/X5"));
    EXPECT_EQ(lines[2], "tftp://192.0.2.11/X5");
}

// A lock file of another live process refuses the device; once that process is killed, its
// lock is stale and taken over.
TEST_F(DeviceUploadTest, LockOfAKilledProcessDoesNotBlock) {
    Client("echo \"$8\"");
    // Made for this user alone, in the runtime folder.
    const QString folder = TUploadLock::Folder();
    ASSERT_EQ(folder, Dir.filePath(QStringLiteral("quillet")));
    EXPECT_EQ(QFileInfo(folder).permissions(), QFile::ReadOwner | QFile::WriteOwner |
                                                   QFile::ExeOwner | QFile::ReadUser |
                                                   QFile::WriteUser | QFile::ExeUser);
    const QString lockPath = folder + QStringLiteral("/upload-192.0.2.11.lock");
    QByteArray format;
    {
        // The owner's lines as this Qt writes them: process id, program name, host, ...
        QLockFile own(Dir.filePath(QStringLiteral("own.lock")));
        ASSERT_TRUE(own.tryLock(0));
        QFile written(Dir.filePath(QStringLiteral("own.lock")));
        ASSERT_TRUE(written.open(QIODevice::ReadOnly));
        format = written.readAll();
    }
    QList<QByteArray> lines = format.split('\n');
    ASSERT_GE(lines.size(), 3);
    QProcess holder;
    holder.start(QStringLiteral("sleep"), {QStringLiteral("30")});
    ASSERT_TRUE(holder.waitForStarted());
    lines[0] = QByteArray::number(holder.processId());
    lines[1] = "sleep";
    QFile lock(lockPath);
    ASSERT_TRUE(lock.open(QIODevice::WriteOnly));
    lock.write(lines.join('\n'));
    lock.close();

    EXPECT_EQ(Run(true, Device, File), TDeviceUpload::uoFailed);
    EXPECT_THAT(Report.Lines(),
                ElementsAre(WebHeader(),
                            QStringLiteral("192.0.2.11 is already receiving an upload from "
                                           "another Quillet (sleep, process %1).")
                                .arg(holder.processId()),
                            QStringLiteral("Web upload failed."), QString()));
    holder.kill();
    ASSERT_TRUE(holder.waitForFinished());
    EXPECT_EQ(Run(true, Device, File), TDeviceUpload::uoDone);
    EXPECT_FALSE(QFile::exists(lockPath));
}

// Without XDG_RUNTIME_DIR the locks go where Qt puts a runtime folder then: in the temporary
// folder, made for this user alone.
TEST_F(DeviceUploadTest, RuntimeFolderFallsBackAsQtDoes) {
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    const QByteArray temp = qgetenv("TMPDIR");
    qunsetenv("XDG_RUNTIME_DIR");
    qputenv("TMPDIR", QFile::encodeName(Dir.path()));
    const QString folder = TUploadLock::Folder();
    qputenv("XDG_RUNTIME_DIR", runtime);
    qputenv("TMPDIR", temp);
    EXPECT_TRUE(folder.startsWith(Dir.filePath(QStringLiteral("runtime-"))))
        << folder.toStdString();
    EXPECT_TRUE(folder.endsWith(QStringLiteral("/quillet"))) << folder.toStdString();
    const QFile::Permissions owner = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                     QFile::ReadUser | QFile::WriteUser | QFile::ExeUser;
    EXPECT_EQ(QFileInfo(folder).permissions(), owner);
    EXPECT_EQ(QFileInfo(QFileInfo(folder).path()).permissions(), owner);
}

// A transfer that nothing answered: one echo tells a device that is off from one whose TFTP
// server is off; only the first counts as no answer.
TEST_F(DeviceUploadTest, SilentTransferIsToldApartByOneEcho) {
    Client("exit 28");
    AnswerAfter(0);
    EXPECT_EQ(Run(true, Device, File), TDeviceUpload::uoFailed);
    EXPECT_EQ(Report.Lines().mid(1, 2),
              (QStringList{QStringLiteral("The device at 192.0.2.11 answers, but its TFTP server "
                                          "does not: it may be switched off or busy."),
                           QStringLiteral("Web upload failed.")}));
    EXPECT_EQ(Echoes.load(), 1);

    AnswerAfter(-1);
    Echoes = 0;
    EXPECT_EQ(Run(false, Device, File), TDeviceUpload::uoNoAnswer);
    EXPECT_EQ(Report.Lines(),
              (QStringList{QStringLiteral("The device did not answer at 192.0.2.11: is it "
                                          "switched on and at this address?"),
                           QStringLiteral("Process failed?")}));
    EXPECT_EQ(Echoes.load(), 1);
}

TEST_F(DeviceUploadTest, ClientThatCannotStartIsReportedAtOnce) {
    Settings.ClientProgram = Dir.path() + QStringLiteral("/no-such-client");
    const QString notStarted = Settings.ClientProgram + QStringLiteral(" could not be started.");
    Settings.TickMs = 1000;
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(Run(true, Device, File), TDeviceUpload::uoFailed);
    EXPECT_THAT(Report.Lines(), ElementsAre(WebHeader(), notStarted,
                                            QStringLiteral("Web upload failed."), QString()));
    EXPECT_EQ(Run(false, Device, File), TDeviceUpload::uoFailed);
    EXPECT_THAT(Report.Lines(), ElementsAre(notStarted, QStringLiteral("Process failed?")));
    EXPECT_LT(clock.elapsed(), 1500);
    EXPECT_EQ(Echoes.load(), 0);
}

// The limit counts the time without headway: a slow transfer that keeps moving ends well, one
// that stalls part-way is cut within the limit and says where, without "Process done." or a
// restart wait; only a client that hangs with the whole file sent may have succeeded.
TEST_F(DeviceUploadTest, TheLimitCountsTimeWithoutHeadway) {
    Settings.WebLimitMs = 300;
    Settings.FirmwareLimitMs = 300;
    // 1.4 s in all, a step every 0.15 s.
    Client("for p in 10 20 30 40 50 60 70 80 90; do printf '\\r###  %s.0%%' $p; sleep 0.15; "
           "done; printf '\\r####### 100.0%%\\n'");
    EXPECT_EQ(Run(true, Device, File), TDeviceUpload::uoDone);
    EXPECT_EQ(Report.Lines().last(2).first(), QStringLiteral("Web upload successful."));
    EXPECT_EQ(Run(false, Device, File), TDeviceUpload::uoDone);
    // Headway just before a look counts from when it came, not as a whole step without it.
    Settings.TickMs = Settings.WebLimitMs;
    EXPECT_EQ(Run(true, Device, File), TDeviceUpload::uoDone);
    Settings.TickMs = 20;

    const QString cut =
        QStringLiteral("The transfer stopped at 14 %: the device acknowledged nothing for 0.3 s.");
    Client("echo sending; printf '\\r##  14.2%%'; exec sleep 30");
    Echoes = 0;
    QElapsedTimer clock;
    clock.start();
    TDeviceUpload upload(Report, nullptr, Settings);
    QSignalSpy finished(&upload, &TDeviceUpload::Finished);
    upload.StartWeb(Device, File);
    ASSERT_TRUE(WaitForSignal(finished, 5000));
    EXPECT_LT(clock.elapsed(), 2000);
    EXPECT_EQ(finished.first().first().value<TDeviceUpload::TOutcome>(),
              TDeviceUpload::uoUploadTimeout);
    EXPECT_EQ(upload.Reason(), cut);
    EXPECT_THAT(Report.Lines(), ElementsAre(WebHeader(), QStringLiteral("sending"),
                                            QStringLiteral("Upload failed at 14 %."), cut,
                                            QStringLiteral("Web upload failed."), QString()));
    EXPECT_EQ(Echoes.load(), 0);
    EXPECT_EQ(Run(false, Device, File), TDeviceUpload::uoUploadTimeout);
    EXPECT_THAT(Report.Lines(),
                ElementsAre(QStringLiteral("sending"), QStringLiteral("Upload failed at 14 %."),
                            cut, QStringLiteral("Process failed?")));

    Client("echo sending; printf '\\r####### 100.0%%'; exec sleep 30");
    EXPECT_EQ(Run(true, Device, File), TDeviceUpload::uoUploadTimeout);
    EXPECT_THAT(Report.Lines(),
                ElementsAre(WebHeader(), QStringLiteral("sending"), QStringLiteral("Process done."),
                            QString(), QStringLiteral("Device restart..."),
                            QStringLiteral("Core web upload process timeout exceeded."),
                            QStringLiteral("It is possible to writting process was successful. "
                                           "Please, check your device web site, if upload was "
                                           "procceed correctly."),
                            QString()));
    EXPECT_EQ(Run(false, Device, File), TDeviceUpload::uoUploadTimeout);
    EXPECT_THAT(Report.Lines(),
                ElementsAre(QStringLiteral("Process failed?"), QStringLiteral("sending"),
                            QStringLiteral("Process done."), QString()));
    EXPECT_LT(clock.elapsed(), 8000);
}

TEST_F(DeviceUploadTest, FirmwareUploadHasNoHeaderAndNoRestartWait) {
    Client("echo \"$8\"");
    EXPECT_EQ(Run(false, Device, File), TDeviceUpload::uoDone);
    EXPECT_THAT(Report.Lines(),
                ElementsAre(QStringLiteral("tftp://192.0.2.11/X5"), QStringLiteral("Process done."),
                            QString(), QStringLiteral("Firmware upload successful.")));
    EXPECT_EQ(Echoes.load(), 0);
}

TEST_F(DeviceUploadTest, SeveralUploadsShareOneEventLoop) {
    Client("sleep 0.2; echo \"$8\"");
    AnswerAfter(2);
    TRecordingReport reports[3];
    std::vector<std::unique_ptr<TDeviceUpload>> uploads;
    std::vector<std::unique_ptr<QSignalSpy>> spies;
    for (int i = 0; i < 3; ++i) {
        uploads.push_back(std::make_unique<TDeviceUpload>(reports[i], nullptr, Settings));
        spies.push_back(
            std::make_unique<QSignalSpy>(uploads.back().get(), &TDeviceUpload::Finished));
        uploads.back()->StartWeb(QStringLiteral("192.0.2.%1").arg(11 + i), File);
    }
    QElapsedTimer clock;
    clock.start();
    for (auto &spy : spies)
        ASSERT_TRUE(WaitForSignal(*spy, 10000));
    // Side by side, not one after the other.
    EXPECT_LT(clock.elapsed(), 1500);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(reports[i].Lines()[1], QStringLiteral("tftp://192.0.2.%1/WEB1").arg(11 + i));
        EXPECT_EQ(reports[i].Lines().last(2).first(), QStringLiteral("Web upload successful."));
    }
}

TEST_F(DeviceUploadTest, DestroyedDuringTheRestartWaitEndsQuietly) {
    Client("exit 0");
    AnswerAfter(-1);
    Settings.Echo.Sleep = [](int milliseconds) {
        QThread::msleep(milliseconds);
    };
    auto upload = std::make_unique<TDeviceUpload>(Report, nullptr, Settings);
    QSignalSpy finished(upload.get(), &TDeviceUpload::Finished);
    upload->StartWeb(Device, File);
    QElapsedTimer waiting;
    waiting.start();
    while (!Report.Info.contains(QStringLiteral("Device restart...")) && waiting.elapsed() < 5000)
        QTest::qWait(10);
    ASSERT_TRUE(Report.Info.contains(QStringLiteral("Device restart...")));
    QElapsedTimer clock;
    clock.start();
    upload.reset();
    EXPECT_LT(clock.elapsed(), 1000);
    QCoreApplication::processEvents();
    EXPECT_TRUE(finished.isEmpty());
    EXPECT_EQ(Report.Lines().last(), QStringLiteral("Device restart..."));
}

} // namespace
