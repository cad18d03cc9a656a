// The site journal: which devices each search saw, which file went to which device with what
// outcome, every IP change, and a name and a note per device, in one SQLite file that the
// window and quillet-cli may write at the same time.
#pragma once

#include "app/core/journalrecords.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QSqlError;
class QSqlQuery;
class QThread;

// Not for several threads: it is used from the thread that made it (the window's, or the
// console program's), while searches report to that thread from their workers. Each event is
// one short transaction, so a program killed while writing loses that event at most. A failure
// never throws: the journal says so once through TakeMessages(), and from then on every record
// call is a cheap no-op that returns false, while the operation it records goes on.
class TJournal {
public:
    using TClock = std::function<QDateTime()>;

    // path is the journal file; clock gives the events' times (the system's when empty).
    explicit TJournal(QString path, TClock clock = {});
    ~TJournal();
    TJournal(const TJournal &) = delete;
    TJournal &operator=(const TJournal &) = delete;

    // Opens the file, making it when missing. A file that is not a journal (damaged, or
    // another program's) is renamed beside it and a new journal started; one of a newer
    // Quillet is left alone and nothing is recorded. True when events can be recorded.
    bool Open();
    bool Writable() const { return FState == jsOpen; }
    const QString &Path() const { return FPath; }
    // The texts for the user that came up since the last call, each once: a file kept beside,
    // a newer journal, a failed write. Empty when there was nothing to say.
    QStringList TakeMessages();

    // One search, with every device it heard. scope tells which searches are compared for
    // the marks: empty for the search of every interface, "range 192.0.2.0/24" for another.
    bool RecordSearch(const QList<TJournalDevice> &devices, const QString &scope = {});
    // event, when given, receives the upload's event number for SetVerification.
    bool RecordUpload(const TJournalUpload &upload, qint64 *event = nullptr);
    bool SetVerification(qint64 uploadEvent, const QString &verification);
    bool RecordIpChange(const TJournalIpChange &change);
    bool SetName(const QString &mac, const QString &name);
    bool SetNote(const QString &mac, const QString &note);

    // Reading gives empty results when the journal could not be opened.
    TJournalLabel Label(const QString &mac) const;
    QHash<QString, TJournalLabel> Labels() const;
    // Newest first.
    QList<TJournalEntry> History(const TJournalFilter &filter = {}) const;
    // The latest upload to each device whose MAC was known, whatever its outcome.
    QHash<QString, TJournalLastUpload> LastUploads() const;
    // Devices that are new, moved, of other firmware or gone in the latest search of the
    // scope against the one before it; unchanged ones are left out.
    QList<TJournalMarked> Marks(const QString &scope = {}) const;
    QList<TJournalKnown> KnownDevices() const;

    // Sets File, Size and Sha256 of an upload from the file itself; false with the reason when
    // the file cannot be read (Size and Sha256 then stay unknown).
    static bool DescribeFile(const QString &path, TJournalUpload &upload, QString *error = nullptr);

private:
    enum TState { jsClosed, jsOpen, jsRefused, jsFailed };
    struct TLink;
    class TWrite;

    bool OpenOnce(bool mayRetry, bool &retry);
    bool Connect(QSqlError &error);
    bool SetAside(const QString &why);
    bool Unusable(const QString &message);
    bool WriteFailed(const QSqlError &error);
    bool Reading() const;
    bool SetLabelField(QSqlQuery &statement, const QString &mac, const QString &text);
    QDateTime Now() const;

    QString FPath;
    TClock FClock;
    QThread *FThread;
    // The connection and its prepared statements; none while the journal is not open.
    std::unique_ptr<TLink> FLink;
    TState FState = jsClosed;
    bool FToldBusy = false;
    QStringList FMessages;
};
