#include "app/core/journal.h"

#include "app/core/journalschema.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QVariant>

#include <algorithm>
#include <atomic>
#include <utility>

namespace {

// SQLite's primary result codes, as Qt's driver reports them.
constexpr int KSqliteError = 1;
constexpr int KSqliteBusy = 5;
constexpr int KSqliteLocked = 6;
constexpr int KSqliteCorrupt = 11;
constexpr int KSqliteNotADatabase = 26;

// Another program's transactions last milliseconds; a longer wait means it hangs, and an event
// is better lost than the operation it records held up.
const QString KJournalConnectOptions = QStringLiteral("QSQLITE_BUSY_TIMEOUT=1000");
constexpr int KOpenAttempts = 50;
constexpr qint64 KSqliteHeaderSize = 100;
constexpr unsigned long KOpenRetryMs = 20;

int SqliteCode(const QSqlError &error) {
    return error.nativeErrorCode().toInt();
}

bool IsBusy(const QSqlError &error) {
    const int code = SqliteCode(error);
    return code == KSqliteBusy || code == KSqliteLocked;
}

bool IsDamage(const QSqlError &error) {
    const int code = SqliteCode(error);
    return code == KSqliteCorrupt || code == KSqliteNotADatabase;
}

QString ErrorText(const QSqlError &error) {
    return error.databaseText().isEmpty() ? error.text() : error.databaseText();
}

// A null QString binds as NULL, which the NOT NULL columns refuse.
QVariant SqlText(const QString &text) {
    return text.isNull() ? QVariant(QStringLiteral("")) : QVariant(text);
}

QDateTime JournalTime(const QVariant &ms) {
    return QDateTime::fromMSecsSinceEpoch(ms.toLongLong(), Qt::UTC);
}

enum TFileLook { flSqlite, flForeign };

// SQLite reports any file of at least a header's length that is not a database, under its own
// locks. Shorter ones (a few bytes) it takes for an empty database and would write over; SQLite
// never leaves such a file, not even while another Quillet creates the journal, since it writes
// whole pages. Looking at the header here instead would race with that creation.
TFileLook LookOfFile(const QString &path, QString &why) {
    const qint64 size = QFileInfo(path).size();
    if (size == 0 || size >= KSqliteHeaderSize)
        return flSqlite;
    why = QCoreApplication::translate("TJournal", "it is not an SQLite database");
    return flForeign;
}

TJournalDevice SeenDevice(const QSqlQuery &query, int first) {
    return {query.value(first).toString(),     query.value(first + 1).toString(),
            query.value(first + 2).toString(), query.value(first + 3).toString(),
            query.value(first + 4).toString(), query.value(first + 5).toString()};
}

TJournalFileKind FileKindOf(const QString &text) {
    return text == JournalFileKindText(jfFirmware) ? jfFirmware : jfWeb;
}

} // namespace

// The connection's name must be unique in the process; it is removed once the database and
// every statement on it are gone, hence the order of the members.
struct TJournal::TLink {
    struct TName {
        QString Text;
        ~TName() {
            if (!Text.isEmpty())
                QSqlDatabase::removeDatabase(Text);
        }
    } Name;
    QSqlDatabase Db;
    QSqlQuery InsertEvent, InsertSearch, FindState, InsertState, KnownState, InsertSighting,
        UpsertDevice, InsertUpload, SetVerification, InsertIpChange, SetName, SetNote;

    bool Prepare(QSqlError &error) {
        const auto prepare = [&](QSqlQuery &query, const char *sql) {
            query = QSqlQuery(Db);
            if (query.prepare(QString::fromLatin1(sql)))
                return true;
            error = query.lastError();
            return false;
        };
        return prepare(InsertEvent, "INSERT INTO event (at, kind) VALUES (?, ?)") &&
               prepare(InsertSearch, "INSERT INTO search (event, scope) VALUES (?, ?)") &&
               prepare(FindState,
                       "SELECT id FROM device_state WHERE mac = ? AND address = ? AND "
                       "interface = ? AND firmware = ? AND type = ? AND description = ?") &&
               prepare(InsertState, "INSERT INTO device_state (mac, address, interface, "
                                    "firmware, type, description) VALUES (?, ?, ?, ?, ?, ?)") &&
               prepare(KnownState,
                       "SELECT s.id, s.address, s.interface, s.firmware, s.type, s.description "
                       "FROM device d JOIN device_state s ON s.id = d.state WHERE d.mac = ?") &&
               prepare(InsertSighting,
                       "INSERT OR IGNORE INTO sighting (event, state, changes) VALUES (?, ?, ?)") &&
               prepare(UpsertDevice,
                       "INSERT INTO device (mac, state, first_seen, last_seen) VALUES (?, ?, ?, ?) "
                       "ON CONFLICT (mac) DO UPDATE SET state = excluded.state, "
                       "last_seen = excluded.last_seen") &&
               prepare(InsertUpload, "INSERT INTO upload (event, mac, address, file, size, "
                                     "sha256, kind, outcome, reason, verification) VALUES "
                                     "(?, ?, ?, ?, ?, ?, ?, ?, ?, ?)") &&
               prepare(SetVerification, "UPDATE upload SET verification = ? WHERE event = ?") &&
               prepare(InsertIpChange, "INSERT INTO ip_change (event, mac, old_address, "
                                       "new_address, outcome) VALUES (?, ?, ?, ?, ?)") &&
               prepare(SetName, "INSERT INTO label (mac, name) VALUES (?, ?) ON CONFLICT (mac) "
                                "DO UPDATE SET name = excluded.name") &&
               prepare(SetNote, "INSERT INTO label (mac, note) VALUES (?, ?) ON CONFLICT (mac) "
                                "DO UPDATE SET note = excluded.note");
    }
};

// One event as one transaction, taken with the write lock at once, so that two writers queue
// instead of failing when one of them would upgrade a read lock.
class TJournal::TWrite {
public:
    explicit TWrite(TJournal &journal)
        : FJournal(journal) {
        FOk = journal.Reading() && journal.Writable();
        if (FOk) {
            QSqlQuery begin(journal.FLink->Db);
            FOk = begin.exec(QStringLiteral("BEGIN IMMEDIATE")) || Fail(begin.lastError());
            FBegun = FOk;
        }
    }
    ~TWrite() {
        if (FBegun)
            QSqlQuery(FJournal.FLink->Db).exec(QStringLiteral("ROLLBACK"));
    }

    bool Ok() const { return FOk; }
    bool Run(QSqlQuery &statement, const QVariantList &values) {
        if (!FOk)
            return false;
        for (qsizetype i = 0; i < values.size(); ++i)
            statement.bindValue(static_cast<int>(i), values[i]);
        return statement.exec() || Fail(statement.lastError());
    }
    qint64 NewEvent(TJournalEventKind kind) {
        QSqlQuery &insert = FJournal.FLink->InsertEvent;
        if (!Run(insert, {FJournal.Now().toMSecsSinceEpoch(), JournalKindText(kind)}))
            return 0;
        return insert.lastInsertId().toLongLong();
    }
    bool Commit() {
        if (!FOk)
            return false;
        QSqlQuery commit(FJournal.FLink->Db);
        if (!commit.exec(QStringLiteral("COMMIT")))
            return Fail(commit.lastError());
        FBegun = false;
        return true;
    }

private:
    bool Fail(const QSqlError &error) {
        FOk = false;
        return FJournal.WriteFailed(error);
    }

    TJournal &FJournal;
    bool FOk = false;
    bool FBegun = false;
};

TJournal::TJournal(QString path, TClock clock)
    : FPath(std::move(path))
    , FClock(std::move(clock))
    , FThread(QThread::currentThread()) {
}

TJournal::~TJournal() = default;

QDateTime TJournal::Now() const {
    return FClock ? FClock() : QDateTime::currentDateTimeUtc();
}

QStringList TJournal::TakeMessages() {
    return std::exchange(FMessages, {});
}

bool TJournal::Open() {
    FLink.reset();
    FState = jsClosed;
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QSQLITE")))
        return Unusable(QCoreApplication::translate(
                            "TJournal", "The journal %1 could not be opened: Qt's SQLite driver "
                                        "is not installed. Nothing is recorded in it this time.")
                            .arg(FPath));
    QString why;
    if (LookOfFile(FPath, why) == flForeign && !SetAside(why))
        return false;
    // A file set aside once gives a new one, which opens or fails on its own merits.
    bool retry = false;
    if (OpenOnce(true, retry) || !retry)
        return Writable();
    OpenOnce(false, retry);
    return Writable();
}

bool TJournal::OpenOnce(bool mayRetry, bool &retry) {
    retry = false;
    const auto cannotOpen = [this](const QSqlError &error) {
        return Unusable(QCoreApplication::translate(
                            "TJournal", "The journal %1 could not be opened (%2). Nothing is "
                                        "recorded in it this time.")
                            .arg(FPath, ErrorText(error)));
    };
    const auto setAside = [&](const QString &why) {
        retry = mayRetry && SetAside(why);
        return mayRetry ? false
                        : Unusable(QCoreApplication::translate("TJournal",
                                                               "The journal %1 could not be read "
                                                               "(%2). Nothing is recorded in it "
                                                               "this time.")
                                       .arg(FPath, why));
    };
    QSqlError error;
    if (!Connect(error))
        return cannotOpen(error);
    JournalSchema::TInspection inspection;
    if (!JournalSchema::Inspect(FLink->Db, inspection, error))
        return IsDamage(error) ? setAside(ErrorText(error)) : cannotOpen(error);
    switch (inspection.Kind) {
    case JournalSchema::skNewer:
        FLink.reset();
        FState = jsRefused;
        FMessages << QCoreApplication::translate(
                         "TJournal", "The journal %1 was written by a newer Quillet (journal "
                                     "version %2; this one knows up to %3). It is left as it is, "
                                     "and nothing is recorded in it this time.")
                         .arg(FPath)
                         .arg(inspection.Version)
                         .arg(JournalSchema::CurrentVersion());
        return false;
    case JournalSchema::skForeign:
        return setAside(
            QCoreApplication::translate("TJournal", "it is another program's database"));
    case JournalSchema::skEmpty:
    case JournalSchema::skOurs:
        break;
    }
    // WAL lets readers on while another program writes; NORMAL syncs at checkpoints only,
    // which a killed program cannot spoil (a power cut may lose the last events, never the
    // file). Two programs starting on a new file at once: switching it to WAL takes the file
    // for a moment, which SQLite reports as busy without waiting, so that is tried again.
    for (int attempt = 1;; ++attempt) {
        QSqlQuery setup(FLink->Db);
        bool ready = setup.exec(QStringLiteral("PRAGMA journal_mode = WAL")) &&
                     setup.exec(QStringLiteral("PRAGMA synchronous = NORMAL"));
        if (!ready)
            error = setup.lastError();
        setup.finish();
        ready = ready && JournalSchema::Upgrade(FLink->Db, error);
        if (ready)
            break;
        if (!IsBusy(error) || attempt == KOpenAttempts)
            return cannotOpen(error);
        QThread::msleep(KOpenRetryMs);
    }
    // Our id with tables missing or of another shape: damaged as well.
    if (!FLink->Prepare(error))
        return IsDamage(error) || SqliteCode(error) == KSqliteError ? setAside(ErrorText(error))
                                                                    : cannotOpen(error);
    FState = jsOpen;
    return true;
}

bool TJournal::Connect(QSqlError &error) {
    static std::atomic<quint64> connections{0};
    FLink = std::make_unique<TLink>();
    FLink->Name.Text = QStringLiteral("quillet-journal-%1").arg(++connections);
    FLink->Db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), FLink->Name.Text);
    FLink->Db.setDatabaseName(FPath);
    FLink->Db.setConnectOptions(KJournalConnectOptions);
    if (FLink->Db.open())
        return true;
    error = FLink->Db.lastError();
    return false;
}

bool TJournal::SetAside(const QString &why) {
    FLink.reset();
    const QString base =
        FPath + QStringLiteral(".damaged-") + Now().toLocalTime().toString(u"yyyyMMdd-HHmmss");
    QString aside = base;
    for (int n = 2; QFileInfo::exists(aside) || QFileInfo::exists(aside + QStringLiteral("-wal"));
         ++n)
        aside = base + u'-' + QString::number(n);
    QFile file(FPath);
    if (!file.rename(aside))
        return Unusable(QCoreApplication::translate(
                            "TJournal", "The journal %1 could not be read (%2) and could not be "
                                        "kept beside it (%3). Nothing is recorded in it this time.")
                            .arg(FPath, why, file.errorString()));
    // A write-ahead log left behind would be replayed into the new journal.
    for (const char *suffix : {"-wal", "-shm", "-journal"})
        if (QFileInfo::exists(FPath + QLatin1String(suffix)))
            QFile::rename(FPath + QLatin1String(suffix), aside + QLatin1String(suffix));
    FMessages << QCoreApplication::translate(
                     "TJournal", "The journal %1 could not be read (%2). It is kept as %3, and a "
                                 "new journal was started.")
                     .arg(FPath, why, aside);
    return true;
}

bool TJournal::Unusable(const QString &message) {
    FLink.reset();
    FState = jsFailed;
    FMessages << message;
    return false;
}

bool TJournal::WriteFailed(const QSqlError &error) {
    if (IsBusy(error)) {
        if (!std::exchange(FToldBusy, true))
            FMessages << QCoreApplication::translate(
                             "TJournal", "The journal %1 was kept busy by another program; an "
                                         "event was not recorded.")
                             .arg(FPath);
        return false;
    }
    // Reading goes on: a full disk still lets the window show the names and the history.
    FState = jsFailed;
    FMessages << QCoreApplication::translate(
                     "TJournal", "The journal %1 could not be written (%2). Nothing more is "
                                 "recorded in it this time.")
                     .arg(FPath, ErrorText(error));
    return false;
}

bool TJournal::Reading() const {
    // Qt SQL refuses a connection to any thread but the one that made it.
    Q_ASSERT_X(QThread::currentThread() == FThread, "TJournal", "used from another thread");
    return FLink && QThread::currentThread() == FThread;
}

bool TJournal::RecordSearch(const QList<TJournalDevice> &devices, const QString &scope) {
    TWrite write(*this);
    if (!write.Ok())
        return false;
    TLink &link = *FLink;
    const qint64 at = Now().toMSecsSinceEpoch();
    const qint64 event = write.NewEvent(jeSearch);
    write.Run(link.InsertSearch, {event, SqlText(scope)});
    for (const TJournalDevice &device : devices) {
        if (!write.Ok())
            break;
        const QVariantList texts = {SqlText(device.Mac),       SqlText(device.Address),
                                    SqlText(device.Interface), SqlText(device.Firmware),
                                    SqlText(device.Type),      SqlText(device.Description)};
        QVariant state;
        int changes = jcFirstSeen;
        if (write.Run(link.KnownState, {texts[0]}) && link.KnownState.next()) {
            changes = 0;
            if (link.KnownState.value(1).toString() != device.Address)
                changes |= jcMoved;
            if (link.KnownState.value(3).toString() != device.Firmware)
                changes |= jcFirmware;
            // Most devices answer as they did the last time: their state is the device's own.
            bool same = true;
            for (int n = 1; n < texts.size() && same; ++n)
                same = link.KnownState.value(n).toString() == texts[n].toString();
            if (same)
                state = link.KnownState.value(0);
        }
        link.KnownState.finish();
        if (state.isNull()) {
            if (write.Run(link.FindState, texts) && link.FindState.next())
                state = link.FindState.value(0);
            else if (write.Run(link.InsertState, texts))
                state = link.InsertState.lastInsertId();
            link.FindState.finish();
        }
        write.Run(link.InsertSighting, {event, state, changes});
        write.Run(link.UpsertDevice, {texts[0], state, at, at});
    }
    return write.Commit();
}

bool TJournal::RecordUpload(const TJournalUpload &upload, qint64 *event) {
    TWrite write(*this);
    if (!write.Ok())
        return false;
    const qint64 id = write.NewEvent(jeUpload);
    write.Run(FLink->InsertUpload,
              {id, SqlText(upload.Mac), SqlText(upload.Address), SqlText(upload.File), upload.Size,
               SqlText(upload.Sha256), JournalFileKindText(upload.Kind), SqlText(upload.Outcome),
               SqlText(upload.Reason), SqlText(upload.Verification)});
    if (!write.Commit())
        return false;
    if (event)
        *event = id;
    return true;
}

bool TJournal::SetVerification(qint64 uploadEvent, const QString &verification) {
    TWrite write(*this);
    if (!write.Ok() || !write.Run(FLink->SetVerification, {SqlText(verification), uploadEvent}))
        return false;
    const bool found = FLink->SetVerification.numRowsAffected() == 1;
    return write.Commit() && found;
}

bool TJournal::RecordIpChange(const TJournalIpChange &change) {
    TWrite write(*this);
    if (!write.Ok())
        return false;
    const qint64 id = write.NewEvent(jeIpChange);
    write.Run(FLink->InsertIpChange, {id, SqlText(change.Mac), SqlText(change.OldAddress),
                                      SqlText(change.NewAddress), SqlText(change.Outcome)});
    return write.Commit();
}

bool TJournal::SetLabelField(QSqlQuery &statement, const QString &mac, const QString &text) {
    TWrite write(*this);
    return write.Run(statement, {SqlText(mac), SqlText(text)}) && write.Commit();
}

bool TJournal::SetName(const QString &mac, const QString &name) {
    return Writable() && SetLabelField(FLink->SetName, mac, name);
}

bool TJournal::SetNote(const QString &mac, const QString &note) {
    return Writable() && SetLabelField(FLink->SetNote, mac, note);
}

TJournalLabel TJournal::Label(const QString &mac) const {
    if (!Reading())
        return {};
    QSqlQuery query(FLink->Db);
    query.prepare(QStringLiteral("SELECT name, note FROM label WHERE mac = ?"));
    query.addBindValue(SqlText(mac));
    if (!query.exec() || !query.next())
        return {};
    return {query.value(0).toString(), query.value(1).toString()};
}

QHash<QString, TJournalLabel> TJournal::Labels() const {
    QHash<QString, TJournalLabel> labels;
    if (!Reading())
        return labels;
    QSqlQuery query(FLink->Db);
    query.setForwardOnly(true);
    if (query.exec(QStringLiteral("SELECT mac, name, note FROM label")))
        while (query.next())
            labels.insert(query.value(0).toString(),
                          {query.value(1).toString(), query.value(2).toString()});
    return labels;
}

QList<TJournalEntry> TJournal::History(const TJournalFilter &filter) const {
    QList<TJournalEntry> entries;
    if (!Reading())
        return entries;
    // Each kind's rows in the same columns, so that one ordering interleaves them.
    static const QString parts[] = {
        QStringLiteral("SELECT g.event AS id, e.at AS at, 0 AS kind, s.mac AS mac, s.address, "
                       "s.interface, s.firmware, s.type, s.description, g.changes, '', -1, '', "
                       "'', '', '', '', '' FROM sighting g JOIN device_state s ON s.id = g.state "
                       "JOIN event e ON e.id = g.event WHERE g.changes <> 0"),
        QStringLiteral("SELECT u.event, e.at, 1, u.mac, u.address, '', '', '', '', 0, u.file, "
                       "u.size, u.sha256, u.kind, u.outcome, u.reason, u.verification, '' "
                       "FROM upload u JOIN event e ON e.id = u.event WHERE 1"),
        QStringLiteral("SELECT c.event, e.at, 2, c.mac, c.old_address, '', '', '', '', 0, '', "
                       "-1, '', '', c.outcome, '', '', c.new_address FROM ip_change c "
                       "JOIN event e ON e.id = c.event WHERE 1"),
    };
    static const QString macColumns[] = {QStringLiteral("s.mac"), QStringLiteral("u.mac"),
                                         QStringLiteral("c.mac")};
    const QString macs =
        QString::fromUtf8(QJsonDocument(QJsonArray::fromStringList(filter.Macs)).toJson());
    QStringList selects;
    QVariantList values;
    for (int i = 0; i < 3; ++i) {
        QString select = parts[i];
        if (!filter.Macs.isEmpty()) {
            select +=
                QStringLiteral(" AND %1 IN (SELECT value FROM json_each(?))").arg(macColumns[i]);
            values << macs;
        }
        if (filter.Since.isValid()) {
            select += QStringLiteral(" AND e.at >= ?");
            values << filter.Since.toMSecsSinceEpoch();
        }
        selects << select;
    }
    QString sql = QStringLiteral("SELECT h.*, coalesce(l.name, '') FROM (") +
                  selects.join(QStringLiteral(" UNION ALL ")) +
                  QStringLiteral(") h LEFT JOIN label l ON l.mac = h.mac "
                                 "ORDER BY h.at DESC, h.id DESC, h.mac");
    if (filter.Limit > 0)
        sql += QStringLiteral(" LIMIT %1").arg(filter.Limit);
    QSqlQuery query(FLink->Db);
    query.setForwardOnly(true);
    if (!query.prepare(sql))
        return entries;
    for (const QVariant &value : values)
        query.addBindValue(value);
    if (!query.exec())
        return entries;
    while (query.next()) {
        TJournalEntry entry;
        entry.Event = query.value(0).toLongLong();
        entry.At = JournalTime(query.value(1));
        entry.Kind = static_cast<TJournalEventKind>(query.value(2).toInt());
        entry.Name = query.value(18).toString();
        switch (entry.Kind) {
        case jeSearch:
            entry.Seen = SeenDevice(query, 3);
            entry.Changes = query.value(9).toInt();
            break;
        case jeUpload:
            entry.Upload = {query.value(3).toString(),  query.value(4).toString(),
                            query.value(10).toString(), query.value(11).toLongLong(),
                            query.value(12).toString(), FileKindOf(query.value(13).toString()),
                            query.value(14).toString(), query.value(15).toString(),
                            query.value(16).toString()};
            break;
        case jeIpChange:
            entry.IpChange = {query.value(3).toString(), query.value(4).toString(),
                              query.value(17).toString(), query.value(14).toString()};
            break;
        }
        entries << entry;
    }
    return entries;
}

QHash<QString, TJournalLastUpload> TJournal::LastUploads() const {
    QHash<QString, TJournalLastUpload> uploads;
    if (!Reading())
        return uploads;
    QSqlQuery query(FLink->Db);
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral(
            "SELECT u.mac, u.file, u.kind, u.outcome, e.at FROM (SELECT mac, max(event) AS last "
            "FROM upload WHERE mac <> '' GROUP BY mac) l JOIN upload u ON u.event = l.last "
            "JOIN event e ON e.id = l.last")))
        return uploads;
    while (query.next())
        uploads.insert(query.value(0).toString(),
                       {query.value(1).toString(), JournalTime(query.value(4)),
                        FileKindOf(query.value(2).toString()), query.value(3).toString()});
    return uploads;
}

QList<TJournalMarked> TJournal::Marks(const QString &scope) const {
    QList<TJournalMarked> marked;
    if (!Reading())
        return marked;
    QSqlQuery query(FLink->Db);
    query.setForwardOnly(true);
    query.prepare(
        QStringLiteral("SELECT event FROM search WHERE scope = ? ORDER BY event DESC LIMIT 2"));
    query.addBindValue(SqlText(scope));
    QList<qint64> searches;
    if (query.exec())
        while (query.next())
            searches << query.value(0).toLongLong();
    // The first search of a scope marks every device it heard as new.
    if (searches.isEmpty())
        return marked;
    // A device heard twice in one search (on two interfaces) counts as heard the first time.
    struct TSighting {
        TJournalDevice Device;
        int Changes = 0;
    };
    QHash<QString, TSighting> heard[2];
    QStringList order[2];
    query.prepare(QStringLiteral(
        "SELECT s.mac, s.address, s.interface, s.firmware, s.type, s.description, g.changes "
        "FROM sighting g JOIN device_state s ON s.id = g.state WHERE g.event = ?"));
    for (qsizetype i = 0; i < searches.size(); ++i) {
        query.bindValue(0, searches[i]);
        if (!query.exec())
            return marked;
        while (query.next()) {
            const TSighting sighting{SeenDevice(query, 0), query.value(6).toInt()};
            if (!heard[i].contains(sighting.Device.Mac)) {
                heard[i].insert(sighting.Device.Mac, sighting);
                order[i] << sighting.Device.Mac;
            }
        }
    }
    std::sort(order[0].begin(), order[0].end());
    std::sort(order[1].begin(), order[1].end());
    for (const QString &mac : order[0]) {
        const TSighting &now = heard[0][mac];
        TJournalMarked mark{now.Device, {}, 0};
        const auto before = heard[1].constFind(mac);
        if (before == heard[1].cend()) {
            mark.Marks = jmNew | (now.Changes & jcFirstSeen ? jmFirstSeen : 0);
        } else {
            mark.Previous = before->Device;
            if (mark.Previous.Address != now.Device.Address)
                mark.Marks |= jmMoved;
            if (mark.Previous.Firmware != now.Device.Firmware)
                mark.Marks |= jmFirmware;
        }
        if (mark.Marks)
            marked << mark;
    }
    for (const QString &mac : order[1])
        if (!heard[0].contains(mac))
            marked << TJournalMarked{heard[1][mac].Device, heard[1][mac].Device, jmGone};
    return marked;
}

QList<TJournalKnown> TJournal::KnownDevices() const {
    QList<TJournalKnown> known;
    if (!Reading())
        return known;
    QSqlQuery query(FLink->Db);
    query.setForwardOnly(true);
    if (query.exec(QStringLiteral(
            "SELECT d.mac, s.address, s.interface, s.firmware, s.type, s.description, "
            "d.first_seen, d.last_seen FROM device d JOIN device_state s ON s.id = d.state")))
        while (query.next())
            known << TJournalKnown{SeenDevice(query, 0), JournalTime(query.value(6)),
                                   JournalTime(query.value(7))};
    return known;
}

bool TJournal::DescribeFile(const QString &path, TJournalUpload &upload, QString *error) {
    upload.File = path;
    upload.Size = -1;
    upload.Sha256.clear();
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    upload.Size = file.size();
    upload.Sha256 = QString::fromLatin1(hash.result().toHex());
    return true;
}
