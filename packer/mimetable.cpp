#include "packer/mimetable.h"

#include "packer/webfile.h"

namespace sitepack {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

std::vector<std::string_view> splitWords(std::string_view text) {
    std::vector<std::string_view> words;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && isBlank(text[i])) {
            ++i;
        }
        const std::size_t start = i;
        while (i < text.size() && !isBlank(text[i])) {
            ++i;
        }
        if (i > start) {
            words.push_back(text.substr(start, i - start));
        }
    }
    return words;
}

} // namespace

bool MimeTable::load(std::string_view text, std::string &error) {
    m_entries.clear();
    const std::vector<std::string_view> words = splitWords(text);
    const std::size_t pairs = words.size() / 2;
    if (pairs > kMaxEntries) {
        error = "Too many entries in mimetype.ini (" + std::to_string(pairs) + ", at most " +
                std::to_string(kMaxEntries) + ")!";
        return false;
    }
    m_entries.reserve(pairs);
    for (std::size_t i = 0; i < pairs; ++i) {
        const std::string_view extension = words[2 * i];
        const std::string_view type = words[2 * i + 1];
        if (extension.size() > kMaxExtensionWord) {
            error = "Extension " + std::string(extension) + " in mimetype.ini is longer than " +
                    std::to_string(kMaxExtensionWord) + " characters!";
            m_entries.clear();
            return false;
        }
        if (type.size() > kMaxTypeWord) {
            error = "MIME type " + std::string(type) + " in mimetype.ini is longer than " +
                    std::to_string(kMaxTypeWord) + " characters!";
            m_entries.clear();
            return false;
        }
        std::string dotted(1, '.');
        dotted.append(extension);
        m_entries.push_back({std::move(dotted), webfile::replyHead(type)});
    }
    return true;
}

int MimeTable::match(std::string_view name) const {
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        if (name.ends_with(m_entries[i].extension)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

} // namespace sitepack
