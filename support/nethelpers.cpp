#include "support/nethelpers.h"

#include "support/childprocess.h"

#include <cerrno>
#include <cstring>
#include <sys/wait.h>

ESocketError ESocketError::FromErrno(int error) {
    return ESocketError(QStringLiteral("Socket Error # %1\r\n%2")
                            .arg(error)
                            .arg(QString::fromLocal8Bit(std::strerror(error))));
}

namespace {

bool IsSpaceOrControl(QChar c) {
    return c.unicode() <= ' ';
}

QString TrimBlanks(const QString &text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && IsSpaceOrControl(text[begin]))
        ++begin;
    while (end > begin && IsSpaceOrControl(text[end - 1]))
        --end;
    return text.mid(begin, end - begin);
}

// A whole decimal number of 0 to 255; blanks around it are allowed.
int ReadByteNumber(const QString &part) {
    const QString digits = TrimBlanks(part);
    if (digits.isEmpty())
        return -1;
    int value = 0;
    for (QChar c : digits) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return -1;
        value = value * 10 + (c.unicode() - '0');
        if (value > 255)
            return -1;
    }
    return value;
}

int HexDigit(QChar c) {
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

bool ParseIPv4(const QString &text, int numbers[4]) {
    const qsizetype first = text.indexOf(QLatin1Char('.'));
    const qsizetype second = first < 0 ? -1 : text.indexOf(QLatin1Char('.'), first + 1);
    const qsizetype third = second < 0 ? -1 : text.indexOf(QLatin1Char('.'), second + 1);
    if (third < 0)
        return false;
    // The last part runs to the end, so a fourth dot makes it no number.
    const QString parts[4] = {text.left(first), text.mid(first + 1, second - first - 1),
                              text.mid(second + 1, third - second - 1), text.mid(third + 1)};
    for (int i = 0; i < 4; ++i) {
        numbers[i] = ReadByteNumber(parts[i]);
        if (numbers[i] < 0)
            return false;
    }
    return true;
}

} // namespace

bool NormalizeIPText(QString &text) {
    if (text.size() < 7 || text.size() > 15)
        return false;
    text = TrimBlanks(text);
    int numbers[4];
    if (!ParseIPv4(text, numbers))
        return false;
    text = QStringLiteral("%1.%2.%3.%4")
               .arg(numbers[0])
               .arg(numbers[1])
               .arg(numbers[2])
               .arg(numbers[3]);
    return true;
}

bool IPTextToBytes(const QString &text, std::array<unsigned char, 4> &bytes) {
    QString normal = text;
    if (!NormalizeIPText(normal))
        return false;
    int numbers[4];
    ParseIPv4(normal, numbers);
    for (int i = 0; i < 4; ++i)
        bytes[static_cast<size_t>(i)] = static_cast<unsigned char>(numbers[i]);
    return true;
}

bool IsMacText(const QString &text) {
    const QString trimmed = TrimBlanks(text);
    QStringList parts;
    QString part;
    for (QChar c : trimmed) {
        if (c == QLatin1Char('-') || c == QLatin1Char(' ')) {
            parts << part;
            part.clear();
        } else {
            part += c;
        }
    }
    parts << part;
    if (parts.size() != 6)
        return false;
    for (const QString &group : parts) {
        if (group.isEmpty())
            return false;
        for (QChar c : group) {
            if (HexDigit(c) < 0)
                return false;
        }
    }
    return true;
}

QByteArray HexTextToBytes(const QString &text) {
    QByteArray bytes;
    bytes.reserve(text.size() / 2 + 1);
    for (qsizetype i = 0; i < text.size(); i += 2) {
        const int high = HexDigit(text[i]);
        const bool single = i + 1 == text.size();
        const int low = single ? 0 : HexDigit(text[i + 1]);
        if (high < 0 || low < 0) {
            throw EConvertError(QStringLiteral("'%1' is not a valid hexadecimal number")
                                    .arg(text.mid(i, single ? 1 : 2)));
        }
        bytes += static_cast<char>(single ? high : high * 16 + low);
    }
    return bytes;
}

QByteArray BytesToText(const void *buffer, qsizetype count, qsizetype *copied) {
    const qsizetype n = count > 0 && buffer ? count : 0;
    if (copied)
        *copied = n;
    return QByteArray(static_cast<const char *>(buffer), n);
}

void RunAndWait(const QString &commandLine, bool hideWindow) {
    (void)hideWindow;
    SweepOrphanChildren();
    const pid_t pid = SpawnCommandLine(commandLine, -1, -1, -1);
    if (pid < 0) {
        throw TCreateProcessError(QStringLiteral("Unable to Create Process \"") + commandLine +
                                  QLatin1Char('"'));
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
}
