#include "discovery/relyndevicelist.h"

#include <QCoreApplication>
#include <QRegularExpression>

#include "discovery/relynerror.h"

#include <algorithm>
#include <vector>

namespace {

// Digits of one base only: no sign, no blanks, no prefix, no overflow.
bool ParseNumber(const QString &text, int base, qulonglong &value) {
    if (text.isEmpty() || text.size() > 16)
        return false;
    for (QChar c : text) {
        const bool digit = c >= u'0' && c <= u'9';
        const bool hex = (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
        if (!digit && !(base == 16 && hex))
            return false;
    }
    bool ok = false;
    value = text.toULongLong(&ok, base);
    return ok;
}

int Sign(qulonglong a, qulonglong b) {
    return a < b ? -1 : (a > b ? 1 : 0);
}

// Compares two lists of numbers part by part; the first difference decides.
int CompareParts(const QStringList &a, const QStringList &b, int base, const QString &error) {
    for (qsizetype i = 0; i < a.size(); ++i) {
        qulonglong x = 0, y = 0;
        if (!ParseNumber(a[i], base, x) || !ParseNumber(b[i], base, y))
            throw ERelynError(error);
        if (const int order = Sign(x, y))
            return order;
    }
    return 0;
}

int CompareSplit(const QString &a, const QString &b, QChar separator, qsizetype parts, int base,
                 const QString &error) {
    const QStringList left = a.split(separator);
    const QStringList right = b.split(separator);
    if (left.size() != parts || right.size() != parts)
        throw ERelynError(error);
    return CompareParts(left, right, base, error);
}

int CompareFirmware(const QString &a, const QString &b) {
    const QString error = QCoreApplication::translate("RelynDeviceList", "Syntax error");
    const QStringList left = a.split(u'-');
    const QStringList right = b.split(u'-');
    if (left.size() != 3 || right.size() != 3)
        throw ERelynError(error);
    if (const int order = CompareParts(left.mid(0, 2), right.mid(0, 2), 10, error))
        return order;
    return CompareSplit(left[2], right[2], u'.', 2, 10, error);
}

// Case folds only a to z, so that other bytes keep their order by value.
int CompareTextAsciiCase(const QString &a, const QString &b) {
    const auto fold = [](QChar c) {
        return c >= u'a' && c <= u'z' ? c.unicode() - (u'a' - u'A') : c.unicode();
    };
    const qsizetype common = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < common; ++i) {
        const int difference = fold(a[i]) - fold(b[i]);
        if (difference != 0)
            return difference;
    }
    return Sign(static_cast<qulonglong>(a.size()), static_cast<qulonglong>(b.size()));
}

} // namespace

QStringList RelynRowTexts(const TRelynPar &record) {
    return {record.IPAddress, record.MACAddress, record.Firmware, record.DeviceType,
            record.Description};
}

QString RelynColumnText(const TRelynPar &record, int column) {
    switch (column) {
    case rcIPAddress:
        return record.IPAddress;
    case rcMACAddress:
        return record.MACAddress;
    case rcFirmware:
        return record.Firmware;
    case rcDeviceType:
        return record.DeviceType;
    case rcInterface:
        return record.Interface;
    default:
        return record.Description;
    }
}

int CompareRelynTexts(int column, const QString &a, const QString &b) {
    switch (column) {
    case rcIPAddress:
        return CompareSplit(a, b, u'.', 4, 10,
                            QCoreApplication::translate("RelynDeviceList", "Synax error"));
    case rcMACAddress:
        return CompareSplit(a, b, u'-', 6, 16,
                            QCoreApplication::translate("RelynDeviceList", "Syntax error"));
    case rcFirmware:
        return CompareFirmware(a, b);
    default:
        return CompareTextAsciiCase(a, b);
    }
}

QList<TRelynPar> RunRelynSearch(const QString &typesFile,
                                const TRelynSearch::EndpointFactory &endpointFactory) {
    TRelynSearch engine(endpointFactory);
    if (!typesFile.isEmpty())
        engine.SetNamesFile(typesFile);
    engine.Search();
    return engine.Results();
}

TRelynSearchOutcome RunRelynScopedSearch(const QString &typesFile, const TRelynSearchScope &scope) {
    TRelynSearch engine;
    engine.SetScope(scope);
    if (!typesFile.isEmpty())
        engine.SetNamesFile(typesFile);
    engine.Search();
    return {engine.Results(), engine.AskedInterfaces(), engine.RefusedSends(), engine.Skipped()};
}

bool RelynParseRangeList(const QString &text, QList<TRelynRange> &ranges, QString &error) {
    static const QRegularExpression separators(QStringLiteral("[\\s,]+"));
    QList<TRelynRange> parsed;
    for (const QString &word : text.split(separators, Qt::SkipEmptyParts)) {
        TRelynRange range;
        if (!RelynParseRange(word, range, error))
            return false;
        parsed << range;
    }
    qint64 addresses = 0;
    for (const TRelynRange &range : RelynMergeRanges(parsed))
        addresses += range.Count();
    if (addresses > TRelynSearchScope::MaxRangeAddresses) {
        error =
            QCoreApplication::translate(
                "RelynDeviceList", "The ranges hold %1 addresses; at most a /16 (65536) in all.")
                .arg(addresses);
        return false;
    }
    ranges = parsed;
    return true;
}

std::vector<qsizetype> TRelynDeviceList::SortBy(int column) {
    // Sorting positions rather than the rows themselves: a comparison error may stop the sort
    // at any point, and the rows must not be left half moved.
    std::vector<qsizetype> order(static_cast<size_t>(Rows.size()));
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = static_cast<qsizetype>(i);
    std::stable_sort(order.begin(), order.end(), [&](qsizetype a, qsizetype b) {
        return CompareRelynTexts(column, RelynColumnText(Rows[a], column),
                                 RelynColumnText(Rows[b], column)) < 0;
    });
    QList<TRelynPar> sorted;
    sorted.reserve(Rows.size());
    for (qsizetype index : order)
        sorted.append(Rows[index]);
    Rows = std::move(sorted);
    return order;
}
