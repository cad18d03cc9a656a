// One folder's entries with name, size and folder flag, not descending into sub-folders.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sitepack {

struct FolderEntry {
    std::string name;
    std::uint64_t size = 0; // 0 for folders, whatever their size on disk
    bool isFolder = false;
};

// Every entry of `path` except "." and "..", hidden ones included, in ascending byte order of
// the names so that the same folder always packs the same way. Symbolic links are followed;
// an entry that cannot be examined is listed as a file of size 0 and fails when it is read.
// Returns false when the folder cannot be listed.
bool listFolder(const std::string &path, std::vector<FolderEntry> &entries);

} // namespace sitepack
