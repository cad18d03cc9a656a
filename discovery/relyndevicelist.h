// The device table without a window: rows in search order, the column comparisons and the sort
// that the search window applies after every search and on every header click.
#pragma once

#include "discovery/relynpar.h"
#include "discovery/relynsearch.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

// The columns of both device tables.
enum TRelynColumn {
    rcIPAddress = 0,
    rcMACAddress = 1,
    rcFirmware = 2,
    rcDeviceType = 3,
    rcDescription = 4,
    // Where the reply came in: the Devices window's column; the search window shows the five
    // texts only.
    rcInterface = 5,
    rcCount
};
inline constexpr int RelynColumnCount = rcInterface;

// The five texts of a record in column order.
QStringList RelynRowTexts(const TRelynPar &record);
// The text of any column, the interface included.
QString RelynColumnText(const TRelynPar &record, int column);

// Negative, zero or positive as a sorts before, with or after b. Raises ERelynError
// ("Synax error" for addresses, "Syntax error" for MAC and firmware texts) when a text does
// not have the column's form.
int CompareRelynTexts(int column, const QString &a, const QString &b);

// One search exactly as the search window runs it: a new engine, the names file when given,
// the search, and copies of the records. The engine is gone when this returns.
using TRelynSearchFunction = std::function<QList<TRelynPar>(const QString &typesFile)>;
QList<TRelynPar> RunRelynSearch(const QString &typesFile,
                                const TRelynSearch::EndpointFactory &endpointFactory = {});

// One search on the real network within a scope, with what the caller needs to explain an
// empty result.
struct TRelynSearchOutcome {
    QList<TRelynPar> Devices;
    QList<TRelynInterface> Asked; // the interfaces broadcast out of
    qint64 RefusedSends = 0;      // of a range search
    QStringList Skipped;          // datagrams and senders passed over, one line each
};
TRelynSearchOutcome RunRelynScopedSearch(const QString &typesFile, const TRelynSearchScope &scope);

// Ranges written one after the other, separated by blanks or commas ("192.0.2.0/25,
// 198.51.100.7"), into the scope; false with the reason for a word that is no range, or for
// more than a /16 in all (as quillet-cli allows).
bool RelynParseRangeList(const QString &text, QList<TRelynRange> &ranges, QString &error);

class TRelynDeviceList {
public:
    void Assign(const QList<TRelynPar> &records) { Rows = records; }
    const QList<TRelynPar> &Records() const { return Rows; }
    int Count() const { return static_cast<int>(Rows.size()); }

    // Reorders the rows ascending by the column; rows that compare equal keep their order.
    // On a comparison error the rows stay as they were and the error is raised. Returns the
    // old position of each row in its new order.
    std::vector<qsizetype> SortBy(int column);

private:
    QList<TRelynPar> Rows;
};
