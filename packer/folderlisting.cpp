#include "packer/folderlisting.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace sitepack {

bool listFolder(const std::string &path, std::vector<FolderEntry> &entries) {
    entries.clear();
    DIR *dir = ::opendir(path.c_str());
    if (dir == nullptr) {
        return false;
    }
    const int fd = ::dirfd(dir);
    bool ok = true;
    for (;;) {
        errno = 0;
        const dirent *d = ::readdir(dir);
        if (d == nullptr) {
            ok = errno == 0;
            break;
        }
        const std::string name = d->d_name;
        if (name == "." || name == "..") {
            continue;
        }
        FolderEntry entry;
        entry.name = name;
        struct stat st {};
        if (::fstatat(fd, d->d_name, &st, 0) == 0) {
            entry.isFolder = S_ISDIR(st.st_mode);
            entry.size = entry.isFolder ? 0 : static_cast<std::uint64_t>(st.st_size);
        }
        entries.push_back(std::move(entry));
    }
    ::closedir(dir);
    if (!ok) {
        entries.clear();
        return false;
    }
    std::sort(entries.begin(), entries.end(),
              [](const FolderEntry &a, const FolderEntry &b) { return a.name < b.name; });
    return true;
}

} // namespace sitepack
