// The MIME type table on any mimetype.ini.
#include "fuzz/fuzzcheck.h"
#include "packer/mimetable.h"
#include "packer/webfile.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    sitepack::MimeTable table;
    std::string error;
    if (!table.load(text, error)) {
        FUZZ_REQUIRE(!error.empty() && error.find('\n') == std::string::npos);
        FUZZ_REQUIRE(table.entries().empty());
        return 0;
    }
    FUZZ_REQUIRE(table.entries().size() <= sitepack::MimeTable::kMaxEntries);

    // The table written back one pair a line reads as the same table, and every head it stores
    // is one the web file reader recognises with the listed type.
    std::string written;
    for (std::size_t i = 0; i < table.entries().size(); ++i) {
        const sitepack::MimeEntry &entry = table.entries()[i];
        FUZZ_REQUIRE(entry.extension.size() >= 2 && entry.extension.front() == '.');
        const auto type = webfile::headMimeType(entry.header);
        FUZZ_REQUIRE(type && entry.header == webfile::replyHead(*type));
        written += entry.extension.substr(1) + ' ' + std::string(*type) + '\n';
        // The first entry that fits a name wins, so the match is never a later one.
        const int match = table.match("index" + entry.extension);
        FUZZ_REQUIRE(match >= 0 && static_cast<std::size_t>(match) <= i);
    }
    sitepack::MimeTable reread;
    FUZZ_REQUIRE(reread.load(written, error));
    FUZZ_REQUIRE(reread.entries().size() == table.entries().size());
    for (std::size_t i = 0; i < reread.entries().size(); ++i) {
        FUZZ_REQUIRE(reread.entries()[i].extension == table.entries()[i].extension);
        FUZZ_REQUIRE(reread.entries()[i].header == table.entries()[i].header);
    }
    return 0;
}
