#pragma once

#include <QByteArray>
#include <QString>

#include <array>
#include <stdexcept>

// A socket operation failed; the text is what the user sees.
class ESocketError : public std::runtime_error {
public:
    explicit ESocketError(const QString &message)
        : std::runtime_error(message.toStdString()) {}
    // "Socket Error # <errno>\r\n<system text>".
    static ESocketError FromErrno(int error);
    QString Message() const { return QString::fromStdString(what()); }
};

// A text was not in the form a conversion needs.
class EConvertError : public std::runtime_error {
public:
    explicit EConvertError(const QString &message)
        : std::runtime_error(message.toStdString()) {}
    QString Message() const { return QString::fromStdString(what()); }
};

// Checks an IPv4 address text of 7 to 15 characters and rewrites it in normal form (decimal
// numbers without leading zeros). The text is trimmed of blanks even when it turns out invalid.
bool NormalizeIPText(QString &text);
// Fills bytes with the four numbers, first number first; leaves them untouched when invalid.
bool IPTextToBytes(const QString &text, std::array<unsigned char, 4> &bytes);
// Six hexadecimal groups separated by "-" (or blanks), of any number of digits.
bool IsMacText(const QString &text);
// Two hexadecimal digits per byte; a last single digit is one byte on its own ("0A1" gives
// 0A 01). Throws EConvertError for a character that is not a hexadecimal digit.
QByteArray HexTextToBytes(const QString &text);
// The first count bytes of the buffer as a byte string; copied (if given) receives count.
QByteArray BytesToText(const void *buffer, qsizetype count, qsizetype *copied = nullptr);

// Starts a command line (see TDosCommand for the word rules and the program search) with the
// caller's standard streams and waits, without a time limit, until the program has ended.
// hideWindow has no meaning here: the started programs have no window of their own. Throws
// TCreateProcessError "Unable to Create Process \"<command line>\"" when it cannot be started.
void RunAndWait(const QString &commandLine, bool hideWindow = true);

// Sockets need no library start or stop here; kept so that start and end of the program read
// the same on every platform.
inline void SocketsStartup() {
}
inline void SocketsCleanup() {
}
