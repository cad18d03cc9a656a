#include "packer/webfile.h"

namespace webfile {

namespace {

constexpr std::size_t kRecordFixed = 7;

void putLe(std::string &out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    }
}

std::uint32_t getLe(std::string_view bytes, std::size_t pos, int count) {
    std::uint32_t value = 0;
    for (int i = count - 1; i >= 0; --i) {
        value = (value << 8) | static_cast<unsigned char>(bytes[pos + i]);
    }
    return value;
}

std::string describe(std::size_t index, std::string_view name) {
    return "entry " + std::to_string(index + 1) + " (" + std::string(name) + ")";
}

// Whether the zero byte that ended the directory stands where a record's name length was lost,
// rather than being the real end byte of an intact directory whose first offset is wrong. The
// record behind a lost name length keeps its size and offset, and its offset is then where the
// records read so far end when laid out from the first one's offset.
bool endedEarly(std::string_view bytes, std::size_t directorySize, std::uint64_t nextOffset) {
    const std::size_t zero = directorySize - 1;
    return bytes.size() - zero >= kRecordFixed && getLe(bytes, zero + 3, 4) == nextOffset;
}

} // namespace

std::string replyHead(std::string_view mimeType) {
    std::string head;
    head.reserve(kHeadFixedLength + mimeType.size());
    head.append(kHeadPrefix).append(mimeType).append(kHeadSuffix);
    return head;
}

std::optional<std::string_view> headMimeType(std::string_view stored) {
    if (!stored.starts_with(kHeadPrefix)) {
        return std::nullopt;
    }
    const std::size_t end = stored.find(kHeadSuffix, kHeadPrefix.size());
    if (end == std::string_view::npos) {
        return std::nullopt;
    }
    return stored.substr(kHeadPrefix.size(), end - kHeadPrefix.size());
}

std::size_t directorySize(const std::vector<std::string> &names) {
    std::size_t size = kMagic.size() + 1;
    for (const std::string &name : names) {
        size += kRecordFixed + name.size();
    }
    return size;
}

std::vector<Record> layOut(const std::vector<std::string> &names,
                           const std::vector<std::size_t> &sizes) {
    std::vector<Record> records;
    records.reserve(names.size());
    std::uint32_t offset = static_cast<std::uint32_t>(directorySize(names));
    for (std::size_t i = 0; i < names.size(); ++i) {
        records.push_back({names[i], static_cast<std::uint16_t>(sizes[i]), offset});
        offset += static_cast<std::uint32_t>(sizes[i]);
    }
    return records;
}

std::string encodeDirectory(const std::vector<Record> &records) {
    std::string out(kMagic);
    for (const Record &r : records) {
        putLe(out, r.name.size(), 1);
        putLe(out, r.size, 2);
        putLe(out, r.offset, 4);
        out.append(r.name);
    }
    out.push_back('\0');
    return out;
}

std::optional<std::string> build(const std::vector<Entry> &entries) {
    if (entries.size() > kMaxEntries) {
        return std::nullopt;
    }
    std::vector<std::string> names;
    std::vector<std::size_t> sizes;
    for (const Entry &e : entries) {
        if (e.name.empty() || e.name.size() > kMaxNameLength || e.stored.size() > kMaxStoredSize) {
            return std::nullopt;
        }
        names.push_back(e.name);
        sizes.push_back(e.stored.size());
    }
    std::string out = encodeDirectory(layOut(names, sizes));
    for (const Entry &e : entries) {
        out.append(e.stored);
    }
    return out;
}

ParseResult parse(std::string_view bytes) {
    ParseResult result;
    auto fail = [&result](std::string message) {
        result.entries.clear();
        result.error = std::move(message);
        return result;
    };
    const std::size_t total = bytes.size();
    if (total < kMagic.size()) {
        return fail("truncated: " + std::to_string(total) + " bytes, too short for the magic");
    }
    if (bytes.substr(0, kMagic.size()) != kMagic) {
        return fail("not a web file: it does not begin with \"" + std::string(kMagic) + "\"");
    }

    struct Raw {
        std::string_view name;
        std::uint16_t size;
        std::uint32_t offset;
    };
    std::vector<Raw> raw;
    std::size_t pos = kMagic.size();
    for (;;) {
        if (pos >= total) {
            return fail("truncated directory: no end byte after " + std::to_string(raw.size()) +
                        " records");
        }
        const std::size_t nameLength = static_cast<unsigned char>(bytes[pos]);
        if (nameLength == 0) {
            break;
        }
        if (raw.size() == kMaxEntries) {
            return fail("directory lists more than " + std::to_string(kMaxEntries) + " entries");
        }
        if (total - pos < kRecordFixed + nameLength) {
            return fail("truncated directory: record " + std::to_string(raw.size() + 1) +
                        " at offset " + std::to_string(pos) + " runs past the end of the file");
        }
        raw.push_back({bytes.substr(pos + kRecordFixed, nameLength),
                       static_cast<std::uint16_t>(getLe(bytes, pos + 1, 2)),
                       getLe(bytes, pos + 3, 4)});
        pos += kRecordFixed + nameLength;
    }
    result.directorySize = pos + 1;

    // Entries must tile the rest of the file exactly, in directory order.
    std::size_t expected = result.directorySize;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        const Raw &r = raw[i];
        if (r.offset != expected) {
            const std::string where =
                i == 0 ? " (right after the directory)" : " (where the previous entry ends)";
            std::string message = describe(i, r.name) + " starts at offset " +
                                  std::to_string(r.offset) + ", expected " +
                                  std::to_string(expected) + where;
            std::uint64_t next = r.offset;
            for (const Raw &each : raw) {
                next += each.size;
            }
            if (i == 0 && r.offset > expected && endedEarly(bytes, result.directorySize, next)) {
                message += "; a name length of 0 at offset " +
                           std::to_string(result.directorySize - 1) + " ends the directory early";
            }
            return fail(message);
        }
        if (r.size > total - expected) {
            return fail(describe(i, r.name) + " runs past the end of the file: " +
                        std::to_string(r.size) + " bytes at offset " + std::to_string(r.offset) +
                        ", file has " + std::to_string(total) + " bytes");
        }
        result.entries.push_back({r.name, r.offset, bytes.substr(r.offset, r.size)});
        expected += r.size;
    }
    if (expected != total) {
        return fail(std::to_string(total - expected) + " bytes follow the last entry at offset " +
                    std::to_string(expected));
    }
    return result;
}

} // namespace webfile
