#include "support/childprocess.h"
#include "support/nethelpers.h"
#include "tools/testsupport/printers.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

TEST(NetHelpers, NormalizeIPText) {
    struct Case {
        QString in;
        bool valid;
        QString out;
    };
    const Case cases[] = {
        {QStringLiteral(" 10.0.0.1 "), true, QStringLiteral("10.0.0.1")},
        {QStringLiteral("1.2.3.4"), true, QStringLiteral("1.2.3.4")},
        {QStringLiteral("010.0.0.001"), true, QStringLiteral("10.0.0.1")},
        {QStringLiteral("192.168.1.7"), true, QStringLiteral("192.168.1.7")},
        {QStringLiteral("255. 255 .0.0"), true, QStringLiteral("255.255.0.0")},
        {QStringLiteral("0.0.0.0"), true, QStringLiteral("0.0.0.0")},
        // Invalid texts are trimmed all the same, unless their length is already wrong.
        {QStringLiteral(" 1.2.3 "), false, QStringLiteral("1.2.3")},
        {QStringLiteral("256.1.1.1"), false, QStringLiteral("256.1.1.1")},
        {QStringLiteral("1.2.3.4.5"), false, QStringLiteral("1.2.3.4.5")},
        {QStringLiteral("1..2.3"), false, QStringLiteral("1..2.3")},
        {QStringLiteral("1.2.3.-4"), false, QStringLiteral("1.2.3.-4")},
        {QStringLiteral("1.2.3.0x4"), false, QStringLiteral("1.2.3.0x4")},
        {QStringLiteral("1.2"), false, QStringLiteral("1.2")},
        {QStringLiteral("   1.2.3.4      "), false, QStringLiteral("   1.2.3.4      ")},
    };
    for (const Case &c : cases) {
        QString text = c.in;
        EXPECT_EQ(NormalizeIPText(text), c.valid) << c.in.toStdString();
        EXPECT_EQ(text, c.out) << c.in.toStdString();
    }
}

TEST(NetHelpers, IPTextToBytes) {
    std::array<unsigned char, 4> bytes{9, 9, 9, 9};
    EXPECT_TRUE(IPTextToBytes(QStringLiteral("192.168.1.7"), bytes));
    EXPECT_EQ(bytes, (std::array<unsigned char, 4>{0xC0, 0xA8, 0x01, 0x07}));
    EXPECT_FALSE(IPTextToBytes(QStringLiteral("192.168.1.300"), bytes));
    EXPECT_EQ(bytes, (std::array<unsigned char, 4>{0xC0, 0xA8, 0x01, 0x07}));
}

TEST(NetHelpers, IsMacText) {
    EXPECT_TRUE(IsMacText(QStringLiteral("02-00-00-12-34-5F")));
    EXPECT_TRUE(IsMacText(QStringLiteral(" 0-0-0-0-0-0 ")));
    EXPECT_TRUE(IsMacText(QStringLiteral("02 00 00 12 34 100")));
    EXPECT_TRUE(IsMacText(QStringLiteral("ab-cd-ef-AB-CD-EF")));
    EXPECT_FALSE(IsMacText(QStringLiteral("02-00-00-12-34")));
    EXPECT_FALSE(IsMacText(QStringLiteral("02-00-00-12-34-XY")));
    EXPECT_FALSE(IsMacText(QStringLiteral("02-00-00-12-34-5F-01")));
    EXPECT_FALSE(IsMacText(QStringLiteral("02--00-12-34-5F")));
    EXPECT_FALSE(IsMacText(QString()));
}

TEST(NetHelpers, HexTextToBytesAndBack) {
    EXPECT_EQ(HexTextToBytes(QStringLiteral("49502D")), QByteArray("IP-"));
    EXPECT_EQ(HexTextToBytes(QString()), QByteArray());
    EXPECT_EQ(HexTextToBytes(QStringLiteral("0A1")), QByteArray("\x0A\x01", 2));
    EXPECT_EQ(HexTextToBytes(QStringLiteral("ff00")), QByteArray("\xFF\x00", 2));
    try {
        HexTextToBytes(QStringLiteral("12G4"));
        FAIL() << "no conversion error";
    } catch (const EConvertError &error) {
        EXPECT_EQ(error.Message(), QStringLiteral("'G4' is not a valid hexadecimal number"));
    }
    EXPECT_THROW(HexTextToBytes(QStringLiteral("123 ")), EConvertError);

    const unsigned char buffer[] = {0x00, 0x41, 0xFF, 0x42};
    qsizetype copied = 0;
    EXPECT_EQ(BytesToText(buffer, 3, &copied), QByteArray("\x00\x41\xFF", 3));
    EXPECT_EQ(copied, 3);
    EXPECT_EQ(BytesToText(buffer, 0, &copied), QByteArray());
    EXPECT_EQ(copied, 0);
}

TEST(NetHelpers, RunAndWaitWaitsForTheEndOrNamesTheCommandLine) {
    QElapsedTimer clock;
    clock.start();
    // runnerchild lies in the program folder of the tests.
    RunAndWait(QStringLiteral("runnerchild sleep:300 exit:5"));
    EXPECT_GE(clock.elapsed(), 300);

    try {
        RunAndWait(QStringLiteral("no_such_program_here -s 192.0.2.9"));
        FAIL() << "no error";
    } catch (const TCreateProcessError &error) {
        EXPECT_EQ(error.Message(),
                  QStringLiteral("Unable to Create Process \"no_such_program_here -s 192.0.2.9\""));
    }
    EXPECT_EQ(ESocketError::FromErrno(EACCES).Message(),
              QStringLiteral("Socket Error # 13\r\nPermission denied"));
    SocketsStartup();
    SocketsCleanup();
}
