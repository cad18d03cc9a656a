// The web file reader on any bytes, and the writer on entries cut from them.
#include "fuzz/fuzzcheck.h"
#include "packer/webfile.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace {

// A file the reader accepts is one the writer gives back byte for byte from its entries.
void ReadBack(std::string_view bytes) {
    const webfile::ParseResult parsed = webfile::parse(bytes);
    if (!parsed.ok()) {
        FUZZ_REQUIRE(parsed.entries.empty());
        return;
    }
    std::vector<webfile::Entry> entries;
    for (const webfile::ParsedEntry &e : parsed.entries) {
        FUZZ_REQUIRE(e.stored.data() == bytes.data() + e.offset);
        if (const auto mime = webfile::headMimeType(e.stored))
            FUZZ_REQUIRE(e.stored.starts_with(webfile::replyHead(*mime)));
        entries.push_back({std::string(e.name), std::string(e.stored)});
    }
    const auto rebuilt = webfile::build(entries);
    FUZZ_REQUIRE(rebuilt && *rebuilt == bytes);
}

// Entries as name and stored bytes in turn, cut at zero bytes: what the writer builds, the
// reader reads back as the same entries.
void WriteAndRead(std::string_view bytes) {
    std::vector<webfile::Entry> entries;
    std::vector<std::string_view> pieces;
    for (std::size_t start = 0; start <= bytes.size();) {
        const std::size_t end = std::min(bytes.find('\0', start), bytes.size());
        pieces.push_back(bytes.substr(start, end - start));
        start = end + 1;
    }
    for (std::size_t i = 0; i + 1 < pieces.size(); i += 2)
        entries.push_back({std::string(pieces[i]), std::string(pieces[i + 1])});
    const auto built = webfile::build(entries);
    if (!built)
        return;
    const webfile::ParseResult parsed = webfile::parse(*built);
    FUZZ_REQUIRE(parsed.ok() && parsed.entries.size() == entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        FUZZ_REQUIRE(parsed.entries[i].name == entries[i].name);
        FUZZ_REQUIRE(parsed.entries[i].stored == entries[i].stored);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char *>(data), size);
    ReadBack(bytes);
    WriteAndRead(bytes);
    return 0;
}
