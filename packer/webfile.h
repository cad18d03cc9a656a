// Web file layout: the magic, a directory of (name length, size, offset, name) records ended by
// a zero byte, then the stored bytes of every entry back to back. Writer and reader in one place.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace webfile {

inline constexpr std::string_view kMagic = "PmF1";
inline constexpr std::size_t kMaxEntries = 256;
inline constexpr std::size_t kMaxNameLength = 255;
inline constexpr std::size_t kMaxStoredSize = 65535;
// Fixed part of a reply head around the MIME type; the blank before "Content-type" is part of
// the format that the devices receive.
inline constexpr std::string_view kHeadPrefix = "HTTP/1.0 200\r\n Content-type: ";
inline constexpr std::string_view kHeadSuffix = "\r\n\r\n";
inline constexpr std::size_t kHeadFixedLength = kHeadPrefix.size() + kHeadSuffix.size();

// The HTTP reply head stored in front of a file whose extension has a MIME type.
std::string replyHead(std::string_view mimeType);

// The MIME type of stored bytes that begin with a reply head, or nothing when they do not.
// A file packed without a head whose own bytes look like one reads as having one.
std::optional<std::string_view> headMimeType(std::string_view stored);

struct Record {
    std::string name;
    std::uint16_t size = 0;   // stored bytes: reply head plus file
    std::uint32_t offset = 0; // from the first byte of the web file
};

// Size of magic, records and end byte for these name lengths: the offset of the first entry.
std::size_t directorySize(const std::vector<std::string> &names);

// Records for entries of the given names and stored sizes, laid out back to back after the
// directory. The caller keeps names and sizes within the limits above.
std::vector<Record> layOut(const std::vector<std::string> &names,
                           const std::vector<std::size_t> &sizes);

// Magic, records and end byte.
std::string encodeDirectory(const std::vector<Record> &records);

struct Entry {
    std::string name;
    std::string stored;
};

// A whole web file from entries in order; empty when an entry breaks a limit.
std::optional<std::string> build(const std::vector<Entry> &entries);

struct ParsedEntry {
    std::string_view name;
    std::uint32_t offset = 0;
    std::string_view stored; // view into the parsed bytes
};

struct ParseResult {
    std::vector<ParsedEntry> entries;
    std::size_t directorySize = 0;
    std::string error; // empty when the file is consistent
    bool ok() const { return error.empty(); }
};

// Parses a web file and checks that its directory and stored bytes agree: every entry starts
// where the previous one ends, the first right after the directory, and the last ends at the
// end of the file. Reports the first inconsistency found; the views point into `bytes`.
ParseResult parse(std::string_view bytes);

} // namespace webfile
