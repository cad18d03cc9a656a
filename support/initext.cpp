#include "support/initext.h"

#include <QStringDecoder>
#include <QStringEncoder>

TIniText TIniText::Decode(const QByteArray &file) {
    TIniText text;
    const auto marked = QStringConverter::encodingForData(file);
    if (!marked || *marked == QStringConverter::Utf8) {
        text.Bom = marked.has_value();
        text.Bytes = text.Bom ? file.mid(3) : file;
    } else {
        // Windows editors save "Unicode" as UTF-16 with a mark; the decoder drops the mark.
        text.Encoding = *marked;
        text.Bom = true;
        QStringDecoder decoder(*marked, QStringDecoder::Flag::Stateless);
        const QString decoded = decoder(file);
        text.Bytes = decoded.toUtf8();
        // The decoder passes lone surrogates and says nothing of a last unit cut short.
        const bool wide =
            *marked == QStringConverter::Utf32LE || *marked == QStringConverter::Utf32BE;
        if (decoder.hasError() || !decoded.isValidUtf16() || file.size() % (wide ? 4 : 2) != 0)
            text.Fault = QStringLiteral("it is not valid %1 text")
                             .arg(QLatin1StringView(QStringConverter::nameForEncoding(*marked)));
    }
    // The parser ends its text at a zero byte; leaving them out reads every line around them.
    if (text.Bytes.contains('\0')) {
        text.Bytes.removeIf([](char c) { return c == '\0'; });
        if (text.Fault.isEmpty())
            text.Fault = QStringLiteral("it holds a zero byte");
    }
    return text;
}

QByteArray TIniText::Encode(const QByteArray &text) const {
    if (Encoding == QStringConverter::Utf8)
        return Bom ? QByteArray("\xEF\xBB\xBF") + text : text;
    QStringEncoder encoder(Encoding, QStringEncoder::Flag::WriteBom);
    return encoder(QString::fromUtf8(text));
}
