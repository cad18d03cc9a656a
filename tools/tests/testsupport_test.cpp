// The test-support library: the guard that keeps lab tests from broadcasting when started
// outside a lab, and the printers that make failures with Qt values readable.
#include "tools/testsupport/lab.h"
#include "tools/testsupport/printers.h"

#include <QList>
#include <gtest/gtest.h>
#include <stdlib.h>

TEST(LabGuard, VariablesAloneDoNotMakeALab) {
    // This program runs in the machine's own namespace (or any namespace but a lab's computer).
    ::setenv("NETLAB_NAME", "no-such-lab", 1);
    ::setenv("NETLAB_DIR", "/tmp", 1);
    EXPECT_FALSE(labtest::inLab());
    ::unsetenv("NETLAB_DIR");
    EXPECT_FALSE(labtest::inLab());
    ::unsetenv("NETLAB_NAME");
    EXPECT_FALSE(labtest::inLab());
}

TEST(LabGuard, DevicesAreNumberedFromOneInHex) {
    EXPECT_EQ(labtest::deviceAddress(1), "192.0.2.11");
    EXPECT_EQ(labtest::deviceMac(1), "02-00-00-00-00-01");
    EXPECT_EQ(labtest::deviceMac(50), "02-00-00-00-00-32");
}

// Through GoogleTest's own printing, as a failed EXPECT_EQ shows the values.
TEST(Printers, QtValuesShowQuotedAndEscaped) {
    using testing::PrintToString;
    EXPECT_EQ(PrintToString(QStringLiteral("Gr\u00F6\u00DFe \"a\"\r\n\tb")),
              "\"Gr\u00F6\u00DFe \\\"a\\\"\\r\\n\\tb\"");
    EXPECT_EQ(PrintToString(QStringList{QStringLiteral("one"), QStringLiteral("two")}),
              "{\n  \"one\"\n  \"two\"\n}");
    EXPECT_EQ(PrintToString(QStringList()), "{}");
    // Inside a container too: the element printer is found for each byte array.
    EXPECT_EQ(PrintToString(QList<QByteArray>{QByteArray("IP-\0\xFF", 5)}),
              "{ \"IP-\\x00\\xFF\" }");
    const QByteArray upload = QByteArray(64, 'w') + QByteArray(1000, 'x');
    EXPECT_EQ(PrintToString(upload), '"' + std::string(64, 'w') + "\"... (1064 bytes)");
}
