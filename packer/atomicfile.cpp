#include "packer/atomicfile.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace sitepack {

namespace {

std::string systemError(int code) {
    return std::strerror(code);
}

// A symbolic link as output name is written through, as truncating it in place would: the
// new file replaces the link's target, not the link.
std::string resolveTarget(const std::string &path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        std::error_code ec;
        const std::filesystem::path target = std::filesystem::weakly_canonical(path, ec);
        if (!ec) {
            return target.string();
        }
    }
    return path;
}

} // namespace

std::string AtomicFile::temporaryPrefix(const std::string &fileName) {
    // Short enough that the whole temporary name stays within 255 bytes.
    std::string prefix(1, '.');
    prefix.append(fileName, 0, 200).append(".tmp-");
    return prefix;
}

AtomicFile::~AtomicFile() {
    discard();
}

void AtomicFile::discard() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_temporary.empty()) {
        ::unlink(m_temporary.c_str());
        m_temporary.clear();
    }
}

bool AtomicFile::open(const std::string &path, std::string &error) {
    discard();
    m_target = resolveTarget(path);
    const std::filesystem::path target(m_target);
    const std::string folder = target.has_parent_path() ? target.parent_path().string() : ".";
    const std::string prefix = temporaryPrefix(target.filename().string());
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string candidate =
            folder + "/" + prefix + std::to_string(::getpid()) + "-" + std::to_string(attempt);
        // 0666 lets the umask decide the mode, as for any newly created file.
        const int fd =
            ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (fd >= 0) {
            m_fd = fd;
            m_temporary = candidate;
            return true;
        }
        if (errno != EEXIST) {
            error = systemError(errno);
            return false;
        }
    }
    error = systemError(EEXIST);
    return false;
}

bool AtomicFile::write(const char *data, std::size_t size, std::string &error) {
    while (size > 0) {
        const ssize_t written = ::write(m_fd, data, size);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            error = systemError(errno);
            discard();
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

bool AtomicFile::copyFrom(int source, std::uint64_t size, std::uint64_t &copied,
                          std::string &error) {
    copied = 0;
    loff_t from = 0;
    bool inKernel = true;
    std::vector<char> buffer;
    while (copied < size) {
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(size - copied, 1 << 30));
        ssize_t n = 0;
        if (inKernel) {
            n = ::copy_file_range(source, &from, m_fd, nullptr, want, 0);
            if (n < 0 &&
                (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)) {
                // Not between these file systems: copy through a buffer instead.
                inKernel = false;
                continue;
            }
        } else {
            buffer.resize(64 * 1024);
            n = ::pread(source, buffer.data(), std::min(want, buffer.size()), from);
            if (n > 0) {
                if (!write(buffer.data(), static_cast<std::size_t>(n), error)) {
                    return false;
                }
                from += n;
            }
        }
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            error = systemError(errno);
            discard();
            return false;
        }
        if (n == 0) {
            break;
        }
        copied += static_cast<std::uint64_t>(n);
    }
    return true;
}

bool AtomicFile::commit(std::string &error) {
    if (m_fd < 0) {
        error = systemError(EBADF);
        return false;
    }
    const int fd = m_fd;
    m_fd = -1;
    // A full disk on some file systems shows only when the file is closed.
    if (::close(fd) != 0) {
        error = systemError(errno);
        discard();
        return false;
    }
    if (::rename(m_temporary.c_str(), m_target.c_str()) != 0) {
        error = systemError(errno);
        discard();
        return false;
    }
    m_temporary.clear();
    return true;
}

} // namespace sitepack
