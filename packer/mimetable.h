// The MIME type table read from mimetype.ini: extension words and MIME types in pairs.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace sitepack {

struct MimeEntry {
    std::string extension; // with its leading dot
    std::string header;    // the reply head stored in front of a matching file
};

class MimeTable {
public:
    static constexpr std::size_t kMaxEntries = 169;
    static constexpr std::size_t kMaxExtensionWord = 8;
    static constexpr std::size_t kMaxTypeWord = 222;

    // Reads the words of `text` in pairs, separated by any whitespace; a last word without a
    // partner is ignored. Returns false and a one-line reason when a limit is broken.
    bool load(std::string_view text, std::string &error);

    // Index of the first entry whose extension ends `name` byte for byte, or -1.
    int match(std::string_view name) const;

    const std::vector<MimeEntry> &entries() const { return m_entries; }

private:
    std::vector<MimeEntry> m_entries;
};

} // namespace sitepack
