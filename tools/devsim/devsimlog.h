// One line per datagram and per action, appended so that tests can read the file while the
// device runs (and may truncate it between steps).
#pragma once

#include <string>

namespace devsim {

class DevsimLog {
public:
    // An empty path writes to standard error.
    explicit DevsimLog(const std::string &path);
    ~DevsimLog();
    DevsimLog(const DevsimLog &) = delete;
    DevsimLog &operator=(const DevsimLog &) = delete;

    bool isOpen() const { return fd_ >= 0; }
    // "2026-12-08 04:30:00.123 <text>": UTC time with milliseconds, one write per line.
    void line(const std::string &text);

private:
    int fd_ = -1;
    bool ownsFd_ = false;
};

} // namespace devsim
