#include "tools/devsim/devsimlog.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

namespace devsim {

DevsimLog::DevsimLog(const std::string &path) {
    if (path.empty()) {
        fd_ = STDERR_FILENO;
        return;
    }
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    ownsFd_ = fd_ >= 0;
}

DevsimLog::~DevsimLog() {
    if (ownsFd_) {
        ::close(fd_);
    }
}

void DevsimLog::line(const std::string &text) {
    if (fd_ < 0) {
        return;
    }
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000;
    std::tm utc{};
    ::gmtime_r(&seconds, &utc);
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d:%02d:%02d.%03d ", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                  static_cast<int>(millis));
    const std::string whole = stamp + text + "\n";
    // O_APPEND makes each write land whole at the end, even with a reader truncating the file.
    [[maybe_unused]] auto written = ::write(fd_, whole.data(), whole.size());
}

} // namespace devsim
