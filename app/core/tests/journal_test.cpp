// The site journal on a real file: what it keeps across a restart, its marks, and how it
// behaves on a damaged, newer, read-only or full file and with two writers.
#include "app/core/journal.h"
#include "app/core/journalexport.h"
#include "app/core/journalschema.h"
#include "app/core/storageplaces.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QScopeGuard>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

TJournalDevice Device(const QString &mac, const QString &address,
                      const QString &firmware = u"1.0"_s) {
    return {mac, address, u"eth0"_s, firmware, u"P8510"_s, u"hall"_s};
}

TJournalUpload Upload(const QString &mac, const QString &file, const QString &outcome = u"done"_s) {
    TJournalUpload upload;
    upload.Mac = mac;
    upload.Address = u"192.0.2.10"_s;
    upload.File = file;
    upload.Size = 1234;
    upload.Sha256 = QString(64, u'a');
    upload.Outcome = outcome;
    return upload;
}

// Runs body in a child process, which ends with its result as its exit status.
pid_t Child(const std::function<bool()> &body) {
    const pid_t pid = fork();
    if (pid == 0)
        _exit(body() ? 0 : 1);
    return pid;
}

int ExitStatus(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class JournalTest : public ::testing::Test {
protected:
    QTemporaryDir FTemp;
    QString FPath = FTemp.filePath(u"journal.sqlite"_s);
    QDateTime FNow = QDateTime(QDate(2026, 3, 1), QTime(8, 0), Qt::UTC);

    TJournal::TClock Clock() {
        return [this] {
            return FNow = FNow.addSecs(60);
        };
    }
    QStringList Aside() const {
        return QDir(FTemp.path()).entryList({u"journal.sqlite.damaged-*"_s}, QDir::Files);
    }
    void WriteFile(const QByteArray &bytes) {
        QFile file(FPath);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    // A plain SQLite file, made without the journal, changed by sql.
    void MakeSqlite(const QStringList &sql) {
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"maker"_s);
            db.setDatabaseName(FPath);
            ASSERT_TRUE(db.open());
            QSqlQuery query(db);
            for (const QString &statement : sql)
                ASSERT_TRUE(query.exec(statement)) << statement.toStdString();
        }
        QSqlDatabase::removeDatabase(u"maker"_s);
    }
};

TEST_F(JournalTest, RecordsSurviveAReopenAndComeBackNewestFirst) {
    // Hostile texts are kept as the device sent them.
    const QString hostile = u"=cmd|' /C calc'!A0\x1b[31m\"x\","_s;
    {
        TJournal journal(FPath, Clock());
        ASSERT_TRUE(journal.Open());
        EXPECT_TRUE(journal.TakeMessages().isEmpty());
        TJournalDevice a = Device(u"02-00-00-00-00-0A"_s, u"192.0.2.10"_s);
        a.Description = hostile;
        ASSERT_TRUE(journal.RecordSearch({a, Device(u"02-00-00-00-00-0B"_s, u"192.0.2.11"_s)}));
        qint64 event = 0;
        ASSERT_TRUE(journal.RecordUpload(Upload(u"02-00-00-00-00-0A"_s, u"/w/old.pmf"_s), &event));
        ASSERT_TRUE(journal.RecordUpload(
            Upload(u"02-00-00-00-00-0A"_s, u"/w/new.pmf"_s, u"upload time-out"_s)));
        EXPECT_TRUE(journal.SetVerification(event, u"verified"_s));
        EXPECT_FALSE(journal.SetVerification(event + 100, u"verified"_s));
        ASSERT_TRUE(journal.RecordIpChange(
            {u"02-00-00-00-00-0B"_s, u"192.0.2.11"_s, u"192.0.2.99"_s, u"done"_s}));
        ASSERT_TRUE(journal.SetName(u"02-00-00-00-00-0A"_s, hostile));
        ASSERT_TRUE(journal.SetNote(u"02-00-00-00-00-0A"_s, u"by the door"_s));
        ASSERT_TRUE(journal.SetNote(u"02-00-00-00-00-0B"_s, u"roof"_s));
        ASSERT_TRUE(journal.SetName(u"02-00-00-00-00-0B"_s, u";SUM(1)"_s));
    }
    TJournal journal(FPath, Clock());
    ASSERT_TRUE(journal.Open());
    EXPECT_EQ(journal.Label(u"02-00-00-00-00-0A"_s), (TJournalLabel{hostile, u"by the door"_s}));
    EXPECT_EQ(journal.Labels().value(u"02-00-00-00-00-0B"_s),
              (TJournalLabel{u";SUM(1)"_s, u"roof"_s}));

    const QList<TJournalEntry> all = journal.History();
    ASSERT_EQ(all.size(), 5);
    EXPECT_EQ(all[0].Kind, jeIpChange);
    EXPECT_EQ(all[0].IpChange.NewAddress, u"192.0.2.99"_s);
    EXPECT_EQ(all[1].Upload.File, u"/w/new.pmf"_s);
    EXPECT_EQ(all[2].Upload.Verification, u"verified"_s);
    EXPECT_EQ(all[2].Name, hostile);
    EXPECT_EQ(all[2].Upload.Sha256, QString(64, u'a'));
    EXPECT_EQ(all[3].Kind, jeSearch);
    EXPECT_EQ(all[3].Seen.Description, hostile);
    EXPECT_EQ(all[4].Changes, jcFirstSeen);
    EXPECT_TRUE(all[0].At > all[4].At);

    // By MAC and by date.
    const QList<TJournalEntry> b = journal.History({{u"02-00-00-00-00-0B"_s}, {}, 0});
    ASSERT_EQ(b.size(), 2);
    EXPECT_EQ(b[0].Kind, jeIpChange);
    EXPECT_EQ(b[1].Seen.Mac, u"02-00-00-00-00-0B"_s);
    EXPECT_EQ(journal.History({{}, all[2].At, 0}).size(), 3);
    EXPECT_EQ(journal.History({{}, {}, 2}).size(), 2);

    const auto last = journal.LastUploads();
    ASSERT_EQ(last.size(), 1);
    EXPECT_EQ(last[u"02-00-00-00-00-0A"_s].File, u"/w/new.pmf"_s);
    EXPECT_EQ(last[u"02-00-00-00-00-0A"_s].Outcome, u"upload time-out"_s);
    EXPECT_EQ(journal.KnownDevices().size(), 2);

    // The export never hands a spreadsheet a formula or a terminal an escape.
    const QString csv = JournalHistoryCsv(all);
    EXPECT_TRUE(csv.contains(u"\"'=cmd|' /C calc'!A0\\x1b[31m\"\"x\"\",\""_s)) << csv.toStdString();
    EXPECT_TRUE(csv.contains(u",';SUM(1),"_s));
    EXPECT_FALSE(csv.contains(u'\x1b'));
    EXPECT_EQ(csv.count(u"\r\n"_s), 6);
    const QJsonArray rows = QJsonDocument::fromJson(JournalHistoryJson(all).toUtf8()).array();
    ASSERT_EQ(rows.size(), 5);
    EXPECT_EQ(rows[3].toObject()[u"description"_s].toString(), hostile);
    EXPECT_EQ(rows[2].toObject()[u"size"_s].toInt(), 1234);
}

TEST_F(JournalTest, MarksCompareTheLatestSearchWithTheOneBefore) {
    TJournal journal(FPath, Clock());
    ASSERT_TRUE(journal.Open());
    const QString a = u"02-00-00-00-00-0A"_s, b = u"02-00-00-00-00-0B"_s,
                  c = u"02-00-00-00-00-0C"_s;
    ASSERT_TRUE(journal.RecordSearch({Device(a, u"192.0.2.1"_s), Device(b, u"192.0.2.2"_s)}));
    QList<TJournalMarked> marks = journal.Marks();
    ASSERT_EQ(marks.size(), 2);
    EXPECT_EQ(marks[0].Marks, jmNew | jmFirstSeen);

    // b moved and changed firmware, c is new, a is unchanged.
    ASSERT_TRUE(
        journal.RecordSearch({Device(a, u"192.0.2.1"_s), Device(b, u"192.0.2.7"_s, u"2.0"_s),
                              Device(c, u"192.0.2.3"_s)}));
    marks = journal.Marks();
    ASSERT_EQ(marks.size(), 2);
    EXPECT_EQ(marks[0].Device.Mac, b);
    EXPECT_EQ(marks[0].Marks, jmMoved | jmFirmware);
    EXPECT_EQ(marks[0].Previous.Address, u"192.0.2.2"_s);
    EXPECT_EQ(marks[1].Device.Mac, c);
    EXPECT_EQ(marks[1].Marks, jmNew | jmFirstSeen);

    // c is gone; a comes back after a search of another scope, which is compared on its own.
    ASSERT_TRUE(journal.RecordSearch({Device(c, u"10.0.0.3"_s)}, u"range 10.0.0.0/24"_s));
    ASSERT_TRUE(
        journal.RecordSearch({Device(a, u"192.0.2.1"_s), Device(b, u"192.0.2.7"_s, u"2.0"_s)}));
    marks = journal.Marks();
    ASSERT_EQ(marks.size(), 1);
    EXPECT_EQ(marks[0].Device.Mac, c);
    EXPECT_EQ(marks[0].Marks, jmGone);
    EXPECT_EQ(marks[0].Device.Address, u"192.0.2.3"_s);
    marks = journal.Marks(u"range 10.0.0.0/24"_s);
    ASSERT_EQ(marks.size(), 1);
    EXPECT_EQ(marks[0].Marks, jmNew); // new to the range, known to the journal

    // The history lists only sightings that changed something: 2 + 2 + 1 (moved c) + 0.
    EXPECT_EQ(journal.History().size(), 5);
}

TEST_F(JournalTest, ADamagedOrForeignFileIsKeptBesideAndANewJournalStarted) {
    const QByteArray garbage(8192, '\x5a');
    WriteFile(garbage);
    {
        TJournal journal(FPath, Clock());
        EXPECT_TRUE(journal.Open());
        const QStringList messages = journal.TakeMessages();
        ASSERT_EQ(messages.size(), 1);
        ASSERT_EQ(Aside().size(), 1);
        EXPECT_TRUE(messages[0].contains(Aside()[0]));
        EXPECT_TRUE(journal.RecordSearch({Device(u"02-00-00-00-00-0A"_s, u"192.0.2.1"_s)}));
    }
    QFile kept(FTemp.filePath(Aside()[0]));
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), garbage);

    // SQLite, but another program's; and ours with its header cut mid-page.
    ASSERT_TRUE(QFile::remove(FPath));
    MakeSqlite({u"CREATE TABLE notes (t TEXT)"_s, u"INSERT INTO notes VALUES ('mine')"_s});
    {
        TJournal journal(FPath, Clock());
        EXPECT_TRUE(journal.Open());
        EXPECT_EQ(journal.TakeMessages().size(), 1);
        EXPECT_EQ(Aside().size(), 2);
        EXPECT_TRUE(journal.History().isEmpty());
    }
    QFile ours(FPath);
    ASSERT_TRUE(ours.open(QIODevice::ReadWrite));
    ours.seek(100);
    ours.write(QByteArray(4000, '\xff'));
    ours.close();
    {
        TJournal journal(FPath, Clock());
        EXPECT_TRUE(journal.Open());
        EXPECT_EQ(journal.TakeMessages().size(), 1);
        EXPECT_EQ(Aside().size(), 3);
    }
    // A few bytes, which SQLite alone would take for an empty database and write over.
    ASSERT_TRUE(QFile::remove(FPath));
    WriteFile("abc");
    TJournal journal(FPath, Clock());
    EXPECT_TRUE(journal.Open());
    EXPECT_EQ(Aside().size(), 4);
}

TEST_F(JournalTest, ANewerJournalIsLeftAsItIs) {
    MakeSqlite({u"PRAGMA application_id = %1"_s.arg(JournalSchema::ApplicationId),
                u"PRAGMA user_version = 99"_s, u"CREATE TABLE future (x)"_s});
    QFile file(FPath);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    TJournal journal(FPath, Clock());
    EXPECT_FALSE(journal.Open());
    const QStringList messages = journal.TakeMessages();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].contains(u"newer"_s));
    EXPECT_FALSE(journal.RecordSearch({Device(u"02-00-00-00-00-0A"_s, u"192.0.2.1"_s)}));
    EXPECT_FALSE(journal.SetName(u"02-00-00-00-00-0A"_s, u"x"_s));
    EXPECT_TRUE(journal.TakeMessages().isEmpty());
    EXPECT_TRUE(Aside().isEmpty());
    file.seek(0);
    EXPECT_EQ(file.readAll(), before);
}

TEST_F(JournalTest, AReadOnlyFolderOrAFullDiskIsToldOnce) {
    if (geteuid() != 0)
        GTEST_SKIP() << "mounting a small file system needs root";
    const QString folder = FTemp.filePath(u"small"_s);
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_EQ(::mount("tmpfs", folder.toLocal8Bit().constData(), "tmpfs", 0, "size=256k"), 0)
        << std::strerror(errno);
    const auto unmount =
        qScopeGuard([&] { ::umount2(folder.toLocal8Bit().constData(), MNT_DETACH); });
    const QString path = folder + u"/journal.sqlite"_s;
    {
        TJournal journal(path, Clock());
        ASSERT_TRUE(journal.Open());
        ASSERT_TRUE(journal.SetName(u"02-00-00-00-00-0A"_s, u"kept"_s));
        QFile filler(folder + u"/filler"_s);
        ASSERT_TRUE(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        while (filler.write(QByteArray(4096, 'x')) > 0) {
        }
        filler.close();
        const QString big(20000, u'n');
        bool failed = false;
        for (int i = 0; i < 50 && !failed; ++i)
            failed = !journal.SetNote(u"02-00-00-00-00-%1"_s.arg(i, 2, 10, QChar(u'0')), big);
        ASSERT_TRUE(failed);
        EXPECT_EQ(journal.TakeMessages().size(), 1);
        EXPECT_FALSE(journal.Writable());
        EXPECT_FALSE(journal.RecordUpload(Upload(u"02-00-00-00-00-0A"_s, u"/w/a.pmf"_s)));
        EXPECT_TRUE(journal.TakeMessages().isEmpty());
        // Reading goes on.
        EXPECT_EQ(journal.Label(u"02-00-00-00-00-0A"_s).Name, u"kept"_s);
        QFile::remove(folder + u"/filler"_s);
    }
    // Read-only: nothing can be made or written, said once, never thrown.
    ASSERT_EQ(::mount(nullptr, folder.toLocal8Bit().constData(), nullptr, MS_REMOUNT | MS_RDONLY,
                      nullptr),
              0)
        << std::strerror(errno);
    TJournal existing(path, Clock());
    existing.Open();
    EXPECT_FALSE(existing.RecordSearch({Device(u"02-00-00-00-00-0A"_s, u"192.0.2.1"_s)}));
    EXPECT_EQ(existing.TakeMessages().size(), 1);
    EXPECT_FALSE(existing.RecordSearch({Device(u"02-00-00-00-00-0A"_s, u"192.0.2.1"_s)}));
    EXPECT_TRUE(existing.TakeMessages().isEmpty());
    TJournal missing(folder + u"/other.sqlite"_s, Clock());
    EXPECT_FALSE(missing.Open());
    EXPECT_EQ(missing.TakeMessages().size(), 1);
    EXPECT_FALSE(missing.SetName(u"02-00-00-00-00-0A"_s, u"x"_s));
    EXPECT_TRUE(missing.TakeMessages().isEmpty());
}

TEST_F(JournalTest, TwoProgramsWriteAtOnceAndAKilledOneLosesNothingCommitted) {
    constexpr int KEach = 150;
    const auto writer = [this](const QString &mac) {
        return [this, mac] {
            TJournal journal(FPath);
            if (!journal.Open())
                return false;
            for (int i = 0; i < KEach; ++i)
                if (!journal.RecordUpload(Upload(mac, u"/w/%1.pmf"_s.arg(i))) ||
                    !journal.RecordSearch({Device(mac, u"192.0.2.%1"_s.arg(i % 200))}))
                    return false;
            return true;
        };
    };
    const pid_t first = Child(writer(u"02-00-00-00-00-0A"_s));
    const pid_t second = Child(writer(u"02-00-00-00-00-0B"_s));
    EXPECT_EQ(ExitStatus(first), 0);
    EXPECT_EQ(ExitStatus(second), 0);
    {
        TJournal journal(FPath);
        ASSERT_TRUE(journal.Open());
        EXPECT_TRUE(Aside().isEmpty());
        EXPECT_EQ(journal.History({{u"02-00-00-00-00-0A"_s}, {}, 0}).size(), KEach * 2);
        EXPECT_EQ(journal.History({{u"02-00-00-00-00-0B"_s}, {}, 0}).size(), KEach * 2);
    }

    // A child that tells each committed upload through a pipe, killed while it writes on.
    int pipe[2];
    ASSERT_EQ(::pipe(pipe), 0);
    const pid_t victim = fork();
    if (victim == 0) {
        ::close(pipe[0]);
        TJournal journal(FPath);
        if (!journal.Open())
            _exit(1);
        for (int i = 0;; ++i)
            if (journal.RecordUpload(Upload(u"02-00-00-00-00-0C"_s, u"/w/k%1.pmf"_s.arg(i))))
                (void)::write(pipe[1], "x", 1);
    }
    ::close(pipe[1]);
    char buffer[64];
    qint64 told = 0;
    while (told < 200) {
        const ssize_t n = ::read(pipe[0], buffer, sizeof buffer);
        ASSERT_GT(n, 0);
        told += n;
    }
    ::kill(victim, SIGKILL);
    waitpid(victim, nullptr, 0);
    while (const ssize_t n = ::read(pipe[0], buffer, sizeof buffer))
        told += n > 0 ? n : 0;
    ::close(pipe[0]);
    TJournal journal(FPath);
    ASSERT_TRUE(journal.Open());
    EXPECT_TRUE(journal.TakeMessages().isEmpty());
    EXPECT_GE(journal.History({{u"02-00-00-00-00-0C"_s}, {}, 0}).size(), told);
    EXPECT_TRUE(journal.RecordSearch({Device(u"02-00-00-00-00-0C"_s, u"192.0.2.1"_s)}));
}

TEST(JournalPlace, BesideTheWebFilesInEitherLayout) {
    QTemporaryDir program;
    EXPECT_EQ(TStoragePlaces::For(program.path(), u"/c"_s, u"/d"_s).Journal,
              program.path() + u"/journal.sqlite"_s);
    QFile marker(program.filePath(u"installed-layout"_s));
    ASSERT_TRUE(marker.open(QIODevice::WriteOnly));
    marker.close();
    EXPECT_EQ(TStoragePlaces::For(program.path(), u"/c"_s, u"/d"_s).Journal,
              u"/d/quillet/journal.sqlite"_s);
}

} // namespace
