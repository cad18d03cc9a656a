#include "discovery/relyndeviceexport.h"
#include "discovery/relyndevicelist.h"
#include "discovery/relyndevicemodel.h"
#include "discovery/relynerror.h"
#include "tools/testsupport/printers.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

int Compare(int column, const char *a, const char *b) {
    return CompareRelynTexts(column, QString::fromLatin1(a), QString::fromLatin1(b));
}

QString ErrorOf(int column, const char *a, const char *b) {
    try {
        Compare(column, a, b);
    } catch (const ERelynError &error) {
        return error.Text;
    }
    return QStringLiteral("no error");
}

TRelynPar Row(const char *ip, const char *mac = "02-00-00-00-00-01", const char *fw = "1-4-5.00",
              const char *type = "Kx3xx", const char *description = "") {
    return {QString::fromLatin1(ip), QString::fromLatin1(mac), QString::fromLatin1(fw),
            QString::fromLatin1(description), QString::fromLatin1(type)};
}

QStringList Texts(std::initializer_list<const char *> texts) {
    QStringList list;
    for (const char *text : texts)
        list << QString::fromLatin1(text);
    return list;
}

QStringList Column(const TRelynDeviceList &list, int column) {
    QStringList texts;
    for (const TRelynPar &record : list.Records())
        texts << RelynColumnText(record, column);
    return texts;
}

} // namespace

TEST(RelynCompare, NumbersCompareByValueNotByText) {
    EXPECT_LT(Compare(rcIPAddress, "10.0.0.9", "10.0.0.10"), 0);
    EXPECT_GT(Compare(rcIPAddress, "192.0.2.1", "10.255.255.255"), 0);
    EXPECT_EQ(Compare(rcIPAddress, "10.0.0.010", "10.0.0.10"), 0);
    EXPECT_LT(Compare(rcMACAddress, "02-00-00-00-00-0A", "02-00-00-00-00-10"), 0);
    EXPECT_GT(Compare(rcMACAddress, "02-00-00-00-01-00", "02-00-00-00-00-FF"), 0);
    EXPECT_EQ(Compare(rcMACAddress, "0a-00-00-00-00-00", "0A-00-00-00-00-00"), 0);
    EXPECT_LT(Compare(rcFirmware, "1-6-5.03", "1-6-5.10"), 0);
    EXPECT_LT(Compare(rcFirmware, "1-6-5.10", "1-6-12.00"), 0);
    EXPECT_LT(Compare(rcFirmware, "1-9-9.99", "2-0-0.00"), 0);
    EXPECT_GT(Compare(rcFirmware, "1-4-4.255", "1-4-4.99"), 0);
    EXPECT_EQ(Compare(rcFirmware, "1-4-4.05", "1-4-4.5"), 0);
}

TEST(RelynCompare, TextColumnsIgnoreOnlyTheCaseOfAToZ) {
    EXPECT_EQ(Compare(rcDeviceType, "kx3XX", "KX3xx"), 0);
    EXPECT_LT(Compare(rcDeviceType, "D4207", "k1419"), 0);
    EXPECT_LT(Compare(rcDescription, "", "a"), 0);
    EXPECT_LT(Compare(rcDescription, "abc", "abcd"), 0);
    // Lower case folds to upper case, so '_' (between the two in byte order) follows both.
    EXPECT_GT(Compare(rcDescription, "_", "A"), 0);
    EXPECT_GT(Compare(rcDescription, "_", "a"), 0);
    EXPECT_NE(Compare(rcDescription, "\xe4", "\xc4"), 0);
}

TEST(RelynCompare, MalformedTextsRaiseTheColumnsError) {
    const QString ip = QStringLiteral("Synax error");
    const QString other = QStringLiteral("Syntax error");
    EXPECT_EQ(ErrorOf(rcIPAddress, "10.0.0", "10.0.0.1"), ip);
    EXPECT_EQ(ErrorOf(rcIPAddress, "10.0.0.1", "10.0.0.1.5"), ip);
    EXPECT_EQ(ErrorOf(rcIPAddress, "10.0.0.x", "10.0.0.1"), ip);
    EXPECT_EQ(ErrorOf(rcIPAddress, "10.0..1", "10.0.0.1"), ip);
    EXPECT_EQ(ErrorOf(rcIPAddress, "10.0.0.-1", "10.0.0.1"), ip);
    EXPECT_EQ(ErrorOf(rcMACAddress, "N/A", "02-00-00-00-00-01"), other);
    EXPECT_EQ(ErrorOf(rcMACAddress, "02-00-00-00-00-0G", "02-00-00-00-00-01"), other);
    EXPECT_EQ(ErrorOf(rcFirmware, "N/A", "1-4-5.00"), other);
    EXPECT_EQ(ErrorOf(rcFirmware, "1-4-5", "1-4-5.00"), other);
    EXPECT_EQ(ErrorOf(rcFirmware, "1-4-5.00.1", "1-4-5.00"), other);
    EXPECT_EQ(ErrorOf(rcFirmware, "1-A-5.00", "1-4-5.00"), other);
    EXPECT_EQ(ErrorOf(rcFirmware, "1-4-5.00", "1-4-5.0x"), other);
    EXPECT_EQ(ErrorOf(rcDeviceType, "N/A", ""), QStringLiteral("no error"));
}

TEST(RelynDeviceList, SortIsAscendingStableAndReportsTheMove) {
    TRelynDeviceList list;
    list.Assign({Row("10.0.0.10", "02-00-00-00-00-03", "1-4-5.00", "b", "same"),
                 Row("10.0.0.9", "02-00-00-00-00-01", "1-6-12.00", "A", "same"),
                 Row("10.0.0.100", "02-00-00-00-00-02", "1-6-5.10", "c", "same")});
    const std::vector<qsizetype> order = list.SortBy(rcIPAddress);
    EXPECT_EQ(Column(list, rcIPAddress), Texts({"10.0.0.9", "10.0.0.10", "10.0.0.100"}));
    EXPECT_EQ(order, (std::vector<qsizetype>{1, 0, 2}));
    list.SortBy(rcFirmware);
    EXPECT_EQ(Column(list, rcFirmware), Texts({"1-4-5.00", "1-6-5.10", "1-6-12.00"}));
    // Equal descriptions keep the order the rows had; a second sort changes nothing.
    list.SortBy(rcDescription);
    EXPECT_EQ(Column(list, rcFirmware), Texts({"1-4-5.00", "1-6-5.10", "1-6-12.00"}));
    list.SortBy(rcDeviceType);
    EXPECT_EQ(Column(list, rcDeviceType), Texts({"A", "b", "c"}));
    list.SortBy(rcDeviceType);
    EXPECT_EQ(Column(list, rcDeviceType), Texts({"A", "b", "c"}));
}

TEST(RelynDeviceList, FailedSortLeavesEveryRowInPlace) {
    TRelynDeviceList list;
    QList<TRelynPar> rows;
    for (int i = 20; i > 0; --i)
        rows << Row(QStringLiteral("10.0.0.%1").arg(i).toLatin1().constData());
    rows[7].MACAddress = QStringLiteral("N/A");
    list.Assign(rows);
    EXPECT_THAT([&] { list.SortBy(rcMACAddress); },
                testing::ThrowsMessage<ERelynError>(testing::StrEq("Syntax error")));
    EXPECT_EQ(list.Records(), rows);

    // A single row is never compared, so it sorts by any column.
    list.Assign({rows[7]});
    EXPECT_NO_THROW(list.SortBy(rcMACAddress));
}

TEST(RelynDeviceList, RowTextsFollowTheColumnOrder) {
    const TRelynPar record =
        Row("192.0.2.5", "02-00-00-00-00-05", "2-5-2.00", "LAN Adapter", "hall");
    EXPECT_EQ(RelynRowTexts(record),
              Texts({"192.0.2.5", "02-00-00-00-00-05", "2-5-2.00", "LAN Adapter", "hall"}));
}

TEST(RelynDeviceModel, AddressesSortAsNumbersAndTheSummaryNamesWhereItAsked) {
    EXPECT_LT(RelynAddressSortValue(QStringLiteral("192.0.2.9")),
              RelynAddressSortValue(QStringLiteral("192.0.2.10")));
    EXPECT_LT(RelynAddressSortValue(QStringLiteral("255.255.255.255")),
              RelynAddressSortValue(QStringLiteral("192.0.2.256")));

    EXPECT_EQ(RelynSearchSummary(12, {QStringLiteral("eth0"), QStringLiteral("eth1")}, {}, 230),
              QStringLiteral("12 devices on eth0 and eth1 in 0.23 s"));
    EXPECT_EQ(RelynSearchSummary(1, {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")},
                                 {}, 1005),
              QStringLiteral("1 device on a, b and c in 1.00 s"));
    EXPECT_EQ(RelynSearchSummary(0, {QStringLiteral("eth0")}, QStringLiteral("198.51.100.0/24"), 0),
              QStringLiteral("0 devices in 198.51.100.0/24 in 0.00 s"));
}

TEST(RelynDeviceModel, TsvKeepsOneLineADevice) {
    TRelynPar record = Row("192.0.2.5", "02-00-00-00-00-05", "2-5-2.00", "LAN", "hall\tA\r\nB");
    record.Interface = QStringLiteral("eth1");
    EXPECT_EQ(RelynDevicesTsv({record}, {QStringLiteral("IP"), QStringLiteral("MAC")}),
              QStringLiteral("IP\tMAC\n192.0.2.5\t02-00-00-00-00-05\t2-5-2.00\tLAN\thall A  "
                             "B\teth1\n"));
    // Pasted into a spreadsheet, a copied row runs no formula either.
    for (const char *formula : {"=HYPERLINK(\"x\")", "+1", "-1", "@a", "\r=1", "\n=1", ";=1"}) {
        record.Description = QString::fromLatin1(formula);
        EXPECT_TRUE(RelynDevicesTsv({record}, {}).contains(u"\t'"_s)) << formula;
    }
}
