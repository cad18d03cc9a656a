// The echo for a normal user on a computer whose ping_group_range is the kernel's default
// "1 0": no ICMP socket for anyone but root. The real quillet-cli, run as user nobody, checks an
// address before an IP change and waits for a device's restart after a web upload.
#include "tools/testsupport/files.h"
#include "tools/testsupport/lab.h"
#include "tools/testsupport/printers.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <unistd.h>

namespace {

const QString GroupRange = QStringLiteral("/proc/sys/net/ipv4/ping_group_range");
constexpr uid_t Nobody = 65534;

using labtest::Address;

struct TRun {
    int Status = -1;
    std::string Out;
    std::string Err;
};

class EchoAsNormalUserLab : public testing::Test {
protected:
    void SetUp() override {
        if (!labtest::inLab())
            GTEST_SKIP() << labtest::notInLab;
        ASSERT_TRUE(labtest::restartDevice(1));
        QFile range(GroupRange);
        ASSERT_TRUE(range.open(QIODevice::ReadOnly));
        SavedRange = range.readAll();
        range.close();
        ASSERT_TRUE(WriteRange("1 0"));

        // The user's home and the web file, in a folder that nobody may enter.
        ASSERT_TRUE(Dir.isValid());
        QFile::setPermissions(Dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                              QFile::ReadOther | QFile::ExeOther);
        Home = Dir.filePath(QStringLiteral("home"));
        ASSERT_TRUE(QDir().mkpath(Home));
        ASSERT_EQ(::chown(QFile::encodeName(Home).constData(), Nobody, Nobody), 0);
        File = Dir.filePath(QStringLiteral("Station 7_WEB1_01.pmf"));
        Bytes = testsupport::RandomWebFile(40000);
        QFile file(File);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(Bytes);
        file.close();
        QFile::setPermissions(File, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);

        // User nobody cannot reach the build's own program when a folder above it is private
        // (a checkout in a home folder): then a copy beside the web file, with the leak
        // checker's suppressions.
        Cli = QStringLiteral(QUILLET_PROGRAM_DIR "quillet-cli");
        if (AsNobody(QStringLiteral("test"), {QStringLiteral("-x"), Cli}, 5000).Status != 0) {
            const QString copy = Dir.filePath(QStringLiteral("quillet-cli"));
            ASSERT_TRUE(QFile::copy(Cli, copy));
            Cli = copy;
            static const QRegularExpression file(QStringLiteral("suppressions=([^:]+)"));
            const QRegularExpressionMatch match = file.match(LeakOptions);
            if (match.hasMatch()) {
                const QString readable = Dir.filePath(QStringLiteral("lsan.supp"));
                ASSERT_TRUE(QFile::copy(match.captured(1), readable));
                LeakOptions.replace(match.captured(1), readable);
            }
        }
    }

    void TearDown() override {
        if (!SavedRange.isEmpty())
            WriteRange(SavedRange);
    }

    static bool WriteRange(const QByteArray &value) {
        QFile range(GroupRange);
        return range.open(QIODevice::WriteOnly) && range.write(value) == value.size();
    }

    TRun AsNobody(const QString &program, const QStringList &args, int timeoutMs) const {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), Home);
        if (!LeakOptions.isEmpty())
            environment.insert(QStringLiteral("LSAN_OPTIONS"), LeakOptions);
        for (const char *name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME",
                                 "XDG_STATE_HOME", "XDG_RUNTIME_DIR"})
            environment.insert(QString::fromLatin1(name), Home);
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral("setpriv"),
                      QStringList{QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                                  QStringLiteral("--clear-groups"), program} +
                          args);
        TRun run;
        if (!process.waitForFinished(timeoutMs)) {
            process.kill();
            process.waitForFinished();
            run.Err = "did not end in time";
            return run;
        }
        run.Status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        run.Out = process.readAllStandardOutput().toStdString();
        run.Err = process.readAllStandardError().toStdString();
        return run;
    }

    QTemporaryDir Dir;
    QString Cli;
    QString LeakOptions = qEnvironmentVariable("LSAN_OPTIONS");
    QString Home;
    QString File;
    QByteArray Bytes;
    QByteArray SavedRange;
};

} // namespace

TEST_F(EchoAsNormalUserLab, TakenAddressCheckAndRestartWaitThroughPing) {
    const QString mac = QString::fromStdString(labtest::deviceMac(1));
    const TRun taken = AsNobody(Cli, {QStringLiteral("change-ip"), mac, Address(2)}, 30000);
    EXPECT_EQ(taken.Status, 1) << taken.Out << taken.Err;
    EXPECT_NE(taken.Err.find("Selected IP address already exists."), std::string::npos)
        << taken.Err;

    const TRun upload = AsNobody(Cli, {QStringLiteral("upload-web"), File, Address(1)}, 120000);
    EXPECT_EQ(upload.Status, 0) << upload.Out << upload.Err;
    EXPECT_NE(upload.Out.find("Device restart done.\nWeb upload successful.\n"), std::string::npos)
        << upload.Out << upload.Err;
    QFile received(QString::fromStdString(labtest::tftpDir(1)) + QStringLiteral("/WEB1"));
    ASSERT_TRUE(received.open(QIODevice::ReadOnly));
    EXPECT_EQ(received.readAll(), Bytes);
}
