// Errors raised by discovery: socket failures, unreadable names files, sort syntax errors.
#pragma once

#include <QString>
#include <stdexcept>

class ERelynError : public std::runtime_error {
public:
    explicit ERelynError(const QString &text)
        : std::runtime_error(text.toStdString())
        , Text(text) {}

    // The message exactly as the user sees it.
    const QString Text;
};
