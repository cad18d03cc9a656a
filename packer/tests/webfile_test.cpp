#include "packer/webfile.h"

#include <gtest/gtest.h>

#include <random>

using namespace std::string_literals;

namespace {

std::string filled(std::size_t size, char first) {
    std::string s(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        s[i] = static_cast<char>(first + i % 50);
    }
    return s;
}

// The two-file example: index.htm (100 bytes) and logo.gif (200 bytes), both behind heads.
std::string exampleFile() {
    return *webfile::build({{"index.htm", webfile::replyHead("text/html") + filled(100, 'a')},
                            {"logo.gif", webfile::replyHead("image/gif") + filled(200, '0')}});
}

// What a consistent parse promises: entries tile the file right after the directory.
void expectTiles(const webfile::ParseResult &r, std::string_view bytes) {
    std::size_t at = r.directorySize;
    for (const auto &e : r.entries) {
        ASSERT_EQ(e.offset, at);
        ASSERT_EQ(e.stored.data(), bytes.data() + at);
        ASSERT_FALSE(e.name.empty());
        at += e.stored.size();
    }
    ASSERT_EQ(at, bytes.size());
}

} // namespace

TEST(WebFile, ReplyHeadKeepsTheBlankBeforeContentType) {
    const std::string head = webfile::replyHead("text/html");
    EXPECT_EQ(head, "HTTP/1.0 200\r\n Content-type: text/html\r\n\r\n");
    EXPECT_EQ(head.size(), 42u);
    EXPECT_EQ(webfile::headMimeType(head + "<html>"), "text/html");
    EXPECT_EQ(webfile::headMimeType("GIF89a"), std::nullopt);
    EXPECT_EQ(webfile::headMimeType(std::string(webfile::kHeadPrefix) + "text/html\r\n"),
              std::nullopt);
}

TEST(WebFile, WorkedExampleLayout) {
    const std::string file = exampleFile();
    ASSERT_EQ(file.size(), 420u);
    const std::string directory = "PmF1"
                                  "\x09\x8E\x00\x24\x00\x00\x00index.htm"
                                  "\x08\xF2\x00\xB2\x00\x00\x00logo.gif"
                                  "\x00"s;
    EXPECT_EQ(file.substr(0, 36), directory);
    EXPECT_EQ(file.substr(36, 42), webfile::replyHead("text/html"));
    EXPECT_EQ(file.substr(78, 100), filled(100, 'a'));
    EXPECT_EQ(file.substr(178, 42), webfile::replyHead("image/gif"));
    EXPECT_EQ(file.substr(220), filled(200, '0'));

    const webfile::ParseResult parsed = webfile::parse(file);
    ASSERT_TRUE(parsed.ok()) << parsed.error;
    EXPECT_EQ(parsed.directorySize, 36u);
    ASSERT_EQ(parsed.entries.size(), 2u);
    EXPECT_EQ(parsed.entries[0].name, "index.htm");
    EXPECT_EQ(parsed.entries[0].offset, 36u);
    EXPECT_EQ(parsed.entries[1].name, "logo.gif");
    EXPECT_EQ(parsed.entries[1].offset, 178u);
    EXPECT_EQ(webfile::headMimeType(parsed.entries[1].stored), "image/gif");
}

TEST(WebFile, RoundTripAtTheLimits) {
    std::vector<webfile::Entry> entries;
    for (std::size_t i = 0; i < webfile::kMaxEntries; ++i) {
        std::string name(webfile::kMaxNameLength, 'n');
        name.replace(0, 3, std::to_string(100 + i));
        // Empty entries among full ones share their offset with the next entry.
        const std::size_t size = i % 3 == 0 ? 0 : (i % 3 == 1 ? webfile::kMaxStoredSize : 1);
        entries.push_back({name, filled(size, 'A')});
    }
    const std::optional<std::string> file = webfile::build(entries);
    ASSERT_TRUE(file);
    const webfile::ParseResult parsed = webfile::parse(*file);
    ASSERT_TRUE(parsed.ok()) << parsed.error;
    ASSERT_EQ(parsed.entries.size(), entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(parsed.entries[i].name, entries[i].name);
        EXPECT_EQ(parsed.entries[i].stored, entries[i].stored);
    }
    expectTiles(parsed, *file);
}

TEST(WebFile, BuildRefusesWhatTheDirectoryCannotHold) {
    EXPECT_FALSE(webfile::build({{"", "x"}}));
    EXPECT_FALSE(webfile::build({{std::string(256, 'n'), "x"}}));
    EXPECT_FALSE(webfile::build({{"big", std::string(65536, 'x')}}));
    EXPECT_FALSE(webfile::build(std::vector<webfile::Entry>(257, {"a", "x"})));
    EXPECT_TRUE(webfile::build(std::vector<webfile::Entry>(256, {"a", "x"})));
}

TEST(WebFile, ParseReportsTheFirstInconsistency) {
    const std::string good = exampleFile();
    std::string zeroNameLength = good;
    zeroNameLength[20] = '\0'; // the second record's name length
    std::string shiftedFirst = good;
    shiftedFirst[7] = '\x25';
    std::string overlapping = good;
    overlapping[23] = '\xB1';
    std::string tooManyRecords = "PmF1";
    for (int i = 0; i < 257; ++i) {
        tooManyRecords += "\x01\x00\x00\x00\x00\x00\x00x"s;
    }
    tooManyRecords += '\0';

    const struct {
        std::string bytes;
        std::string error;
    } cases[] = {
        {"", "truncated: 0 bytes, too short for the magic"},
        {"PmF", "truncated: 3 bytes, too short for the magic"},
        {"PMF1\0"s, "not a web file: it does not begin with \"PmF1\""},
        {"PmF1", "truncated directory: no end byte after 0 records"},
        {good.substr(0, 35), "truncated directory: no end byte after 2 records"},
        {good.substr(0, 30),
         "truncated directory: record 2 at offset 20 runs past the end of the file"},
        {zeroNameLength, "entry 1 (index.htm) starts at offset 36, expected 21 (right after the "
                         "directory)"},
        {shiftedFirst, "entry 1 (index.htm) starts at offset 37, expected 36"},
        {overlapping, "entry 2 (logo.gif) starts at offset 177, expected 178 (where the previous "
                      "entry ends)"},
        {good.substr(0, 419), "entry 2 (logo.gif) runs past the end of the file: 242 bytes at "
                              "offset 178, file has 419 bytes"},
        {good + "x", "1 bytes follow the last entry at offset 420"},
        {"PmF1\0junk"s, "4 bytes follow the last entry at offset 5"},
        {tooManyRecords, "directory lists more than 256 entries"},
    };
    for (const auto &c : cases) {
        const webfile::ParseResult r = webfile::parse(c.bytes);
        EXPECT_FALSE(r.ok()) << c.error;
        EXPECT_EQ(r.error.substr(0, c.error.size()), c.error);
        EXPECT_TRUE(r.entries.empty());
    }
    // An empty directory with nothing behind it is consistent.
    EXPECT_TRUE(webfile::parse("PmF1\0"s).ok());
}

TEST(WebFile, DamagedFilesNeverPassAsInconsistentAndNeverCrash) {
    const std::string good = exampleFile();
    for (std::size_t length = 0; length < good.size(); ++length) {
        EXPECT_FALSE(webfile::parse(std::string_view(good).substr(0, length)).ok()) << length;
    }
    for (std::size_t bit = 0; bit < good.size() * 8; ++bit) {
        std::string damaged = good;
        damaged[bit / 8] = static_cast<char>(damaged[bit / 8] ^ (1 << (bit % 8)));
        const webfile::ParseResult r = webfile::parse(damaged);
        if (r.ok()) {
            expectTiles(r, damaged);
        } else {
            EXPECT_FALSE(r.error.empty());
        }
        // A flip inside the directory's numbers must never be taken for a good file.
        if (bit / 8 < 36 && r.ok()) {
            const bool inName = (bit / 8 >= 11 && bit / 8 < 20) || (bit / 8 >= 27 && bit / 8 < 35);
            EXPECT_TRUE(inName) << "flip at bit " << bit << " accepted";
        }
    }
    std::mt19937 random(20261208);
    for (int round = 0; round < 20000; ++round) {
        std::string bytes = "PmF1";
        const std::size_t length = random() % 64;
        for (std::size_t i = 0; i < length; ++i) {
            // Small values make plausible name lengths and offsets more likely.
            bytes.push_back(static_cast<char>(random() % 3 == 0 ? random() % 12 : random()));
        }
        const webfile::ParseResult r = webfile::parse(bytes);
        if (r.ok()) {
            expectTiles(r, bytes);
        }
    }
}
