// The text of an INI file in the encodings settings files come in, made ready for the parser.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringConverter>

struct TIniText {
    // The text for the parser: UTF-8, or the file's own bytes when it carries no byte-order
    // mark (UTF-8 or an older 8-bit code page, told apart value by value). No mark, no zero byte.
    QByteArray Bytes;
    // What the file was written in, so that a rewrite keeps it.
    QStringConverter::Encoding Encoding = QStringConverter::Utf8;
    bool Bom = false;
    // Empty when Bytes hold the whole file faithfully; otherwise why not, and the file must
    // not be rewritten from them.
    QString Fault;

    static TIniText Decode(const QByteArray &file);
    // Parser text back into the file's own encoding, with its byte-order mark if it had one.
    QByteArray Encode(const QByteArray &text) const;
};
