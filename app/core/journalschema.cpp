#include "app/core/journalschema.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

#include <vector>

namespace {

// Step i brings version i to version i + 1; a later version appends a step and never edits an
// earlier one, since files of every version are out there.
const std::vector<std::vector<const char *>> KJournalSteps = {
    {
        // Times are milliseconds since 1970 (UTC). Ids give the order in which events were
        // committed, whichever process wrote them.
        "CREATE TABLE event (id INTEGER PRIMARY KEY, at INTEGER NOT NULL, kind TEXT NOT NULL)",
        "CREATE INDEX event_at ON event (at)",
        // Marks compare the last two searches of one scope (every interface, one range, ...).
        "CREATE TABLE search (event INTEGER PRIMARY KEY, scope TEXT NOT NULL)",
        "CREATE INDEX search_scope ON search (scope, event)",
        // A device answers the same texts search after search: each set is kept once.
        "CREATE TABLE device_state (id INTEGER PRIMARY KEY, mac TEXT NOT NULL,"
        " address TEXT NOT NULL, interface TEXT NOT NULL, firmware TEXT NOT NULL,"
        " type TEXT NOT NULL, description TEXT NOT NULL,"
        " UNIQUE (mac, address, interface, firmware, type, description))",
        "CREATE TABLE sighting (event INTEGER NOT NULL, state INTEGER NOT NULL,"
        " changes INTEGER NOT NULL, PRIMARY KEY (event, state)) WITHOUT ROWID",
        // The history lists only the sightings that changed something.
        "CREATE INDEX sighting_changes ON sighting (state, event) WHERE changes <> 0",
        "CREATE TABLE device (mac TEXT PRIMARY KEY, state INTEGER NOT NULL,"
        " first_seen INTEGER NOT NULL, last_seen INTEGER NOT NULL) WITHOUT ROWID",
        "CREATE TABLE label (mac TEXT PRIMARY KEY, name TEXT NOT NULL DEFAULT '',"
        " note TEXT NOT NULL DEFAULT '') WITHOUT ROWID",
        "CREATE TABLE upload (event INTEGER PRIMARY KEY, mac TEXT NOT NULL,"
        " address TEXT NOT NULL, file TEXT NOT NULL, size INTEGER NOT NULL,"
        " sha256 TEXT NOT NULL, kind TEXT NOT NULL, outcome TEXT NOT NULL,"
        " reason TEXT NOT NULL, verification TEXT NOT NULL DEFAULT '')",
        "CREATE INDEX upload_mac ON upload (mac, event)",
        "CREATE TABLE ip_change (event INTEGER PRIMARY KEY, mac TEXT NOT NULL,"
        " old_address TEXT NOT NULL, new_address TEXT NOT NULL, outcome TEXT NOT NULL)",
        "CREATE INDEX ip_change_mac ON ip_change (mac, event)",
    },
};

bool Scalar(QSqlQuery &query, const QString &sql, qint64 &value) {
    if (!query.exec(sql) || !query.next())
        return false;
    value = query.value(0).toLongLong();
    query.finish();
    return true;
}

bool ReadHeader(QSqlQuery &query, qint64 &id, qint64 &version) {
    return Scalar(query, QStringLiteral("PRAGMA application_id"), id) &&
           Scalar(query, QStringLiteral("PRAGMA user_version"), version);
}

} // namespace

namespace JournalSchema {

int CurrentVersion() {
    return static_cast<int>(KJournalSteps.size());
}

bool Inspect(QSqlDatabase &db, TInspection &inspection, QSqlError &error) {
    QSqlQuery query(db);
    qint64 id = 0;
    qint64 version = 0;
    qint64 tables = 0;
    // One read transaction: a header read before another Quillet's first commit and a table
    // count after it would make a new journal look like another program's database.
    if (!query.exec(QStringLiteral("BEGIN")) || !ReadHeader(query, id, version) ||
        !Scalar(query, QStringLiteral("SELECT count(*) FROM sqlite_master"), tables)) {
        error = query.lastError();
        query.exec(QStringLiteral("ROLLBACK"));
        return false;
    }
    query.exec(QStringLiteral("COMMIT"));
    inspection.Version = static_cast<int>(version);
    if (id == ApplicationId)
        inspection.Kind = version > CurrentVersion() ? skNewer : skOurs;
    else if (id == 0 && version == 0 && tables == 0)
        inspection.Kind = skEmpty;
    else
        inspection.Kind = skForeign;
    return true;
}

bool Upgrade(QSqlDatabase &db, QSqlError &error) {
    QSqlQuery query(db);
    const auto fail = [&]() {
        error = query.lastError();
        query.exec(QStringLiteral("ROLLBACK"));
        return false;
    };
    // The write lock first, so that a second Quillet upgrading the same file waits here and
    // then finds the work done.
    if (!query.exec(QStringLiteral("BEGIN IMMEDIATE"))) {
        error = query.lastError();
        return false;
    }
    qint64 id = 0;
    qint64 version = 0;
    if (!ReadHeader(query, id, version))
        return fail();
    if (version > CurrentVersion() || (id != 0 && id != ApplicationId)) {
        query.exec(QStringLiteral("ROLLBACK"));
        error = QSqlError(QString(), QStringLiteral("the journal changed while it was opened"),
                          QSqlError::StatementError);
        return false;
    }
    for (auto step = KJournalSteps.begin() + version; step != KJournalSteps.end(); ++step)
        for (const char *statement : *step)
            if (!query.exec(QString::fromLatin1(statement)))
                return fail();
    // Pragmas take no bound values; both numbers are our own.
    if (!query.exec(QStringLiteral("PRAGMA application_id = %1").arg(ApplicationId)) ||
        !query.exec(QStringLiteral("PRAGMA user_version = %1").arg(CurrentVersion())) ||
        !query.exec(QStringLiteral("COMMIT")))
        return fail();
    return true;
}

} // namespace JournalSchema
