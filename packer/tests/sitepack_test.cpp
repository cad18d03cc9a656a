#include "packer/sitepack.h"
#include "packer/tests/testfolder.h"
#include "packer/webfile.h"

#include <gtest/gtest.h>

#include <sstream>
#include <sys/stat.h>

using namespace std::string_literals;

namespace {

const std::string kBanner = "Morvask Sitepack V1.10 (May 24 2000).\n"
                            "Convert web directory to Pelmo web file.\n";
const std::string kUsage = "\nUsage: Sitepack [/o <output file>] [/d <directory>]\n";

struct Outcome {
    int status;
    std::string text; // everything after the banner
};

Outcome pack(const TestFolder &folder, const std::vector<std::string> &words) {
    std::ostringstream out;
    const int status = sitepack::run(words, folder.path(), out);
    const std::string text = out.str();
    EXPECT_EQ(text.substr(0, kBanner.size()), kBanner);
    return {status, text.substr(std::min(kBanner.size(), text.size()))};
}

std::vector<std::string> entryNames(const std::string &file) {
    const webfile::ParseResult parsed = webfile::parse(file);
    EXPECT_TRUE(parsed.ok()) << parsed.error;
    std::vector<std::string> names;
    for (const auto &e : parsed.entries) {
        names.emplace_back(e.name);
    }
    return names;
}

std::string bytes(std::size_t size) {
    std::string s(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        s[i] = static_cast<char>(i * 7 + 3);
    }
    return s;
}

} // namespace

TEST(Sitepack, WorkedExampleByteForByte) {
    TestFolder f;
    f.write("mimetype.ini", "htm text/html\ngif image/gif\n");
    f.write("site/index.htm", bytes(100));
    f.write("site/logo.gif", bytes(200));

    const Outcome o = pack(f, {"/d", "site"});
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.text, "2 files written to pelmo.pmf (420 bytes).\n");
    const std::string expected = "PmF1"
                                 "\x09\x8E\x00\x24\x00\x00\x00index.htm"
                                 "\x08\xF2\x00\xB2\x00\x00\x00logo.gif"
                                 "\x00"s +
                                 "HTTP/1.0 200\r\n Content-type: text/html\r\n\r\n" + bytes(100) +
                                 "HTTP/1.0 200\r\n Content-type: image/gif\r\n\r\n" + bytes(200);
    ASSERT_EQ(expected.size(), 420u);
    EXPECT_EQ(f.read("pelmo.pmf"), expected);
}

TEST(Sitepack, CommandLineTable) {
    const struct {
        std::vector<std::string> words;
        std::string folder; // whose single file ends up packed
        std::string output;
    } rows[] = {
        {{}, ".", "pelmo.pmf"},
        {{"/o", "a.pmf"}, ".", "a.pmf"},
        {{"/d", "X"}, "X", "pelmo.pmf"},
        {{"/o", "a.pmf", "/o", "b.pmf"}, ".", "b.pmf"},
        {{"/o", "a.pmf", "/d", "Y"}, "Y", "a.pmf"},
        {{"/d", "X", "/o", "b.pmf"}, "X", "b.pmf"},
        {{"/d", "X", "/d", "Y"}, "Y", "pelmo.pmf"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.folder + " -> " + row.output);
        TestFolder f;
        f.write("mimetype.ini", "");
        f.write("X/x.txt", "x");
        f.write("Y/y.txt", "y");
        const Outcome o = pack(f, row.words);
        EXPECT_EQ(o.status, 0);
        EXPECT_NE(o.text.find(" written to " + row.output + " ("), std::string::npos) << o.text;
        const std::vector<std::string> expected =
            row.folder == "." ? std::vector<std::string>{"mimetype.ini"}
                              : std::vector<std::string>{row.folder == "X" ? "x.txt" : "y.txt"};
        EXPECT_EQ(entryNames(f.read(row.output)), expected);
        // Only the named output is written, and sub-folders are never descended into.
        std::set<std::string> names = f.names();
        names.erase(row.output);
        EXPECT_EQ(names, (std::set<std::string>{"mimetype.ini", "X", "Y"}));
    }
}

TEST(Sitepack, UsageForOddWordCountsAndUnknownOptions) {
    const std::vector<std::vector<std::string>> cases = {
        {"/d"},
        {"/d", "X", "/o"},
        {"/d", "X", "/o", "a", "/o"},
        {"/d", "X", "/o", "a", "/o", "b"},
        {"-d", "X"},
        {"/D", "X"},
        {"/d", "X", "/x", "Y"},
    };
    for (const auto &words : cases) {
        TestFolder f;
        f.write("X/x.txt", "x");
        const Outcome o = pack(f, words);
        EXPECT_EQ(o.status, 1);
        EXPECT_EQ(o.text, kUsage);
        EXPECT_EQ(f.names(), std::set<std::string>{"X"});
    }
}

TEST(Sitepack, NothingToPack) {
    TestFolder f;
    f.write("only-folders/a/x.htm", "x");
    f.makeFolder("only-folders/b");
    f.write("only-big/big.htm", bytes(65536));
    f.write("a-file", "x");

    const struct {
        std::string folder;
        std::string text;
    } cases[] = {
        {"missing", "No files in directory missing!\nNo files to process!\n"},
        {"a-file", "No files in directory a-file!\nNo files to process!\n"},
        {"", "No files in directory !\nNo files to process!\n"},
        {"only-folders", "No files to process!\n"},
        {"only-big", "Skipping big.htm (bigger than 64 K)\nNo files to process!\n"},
    };
    const std::set<std::string> before = f.names();
    for (const auto &c : cases) {
        const Outcome o = pack(f, {"/d", c.folder, "/o", "out.pmf"});
        EXPECT_EQ(o.status, 1);
        EXPECT_EQ(o.text, c.text);
        EXPECT_EQ(f.names(), before);
    }
}

TEST(Sitepack, SizeEdgesWithAndWithoutHead) {
    TestFolder f;
    f.write("mimetype.ini", "htm text/html");
    f.write("plain/a.bin", bytes(65535));
    f.write("plain/b.bin", bytes(65536));
    f.write("plain/c.bin", bytes(1 << 20));
    const Outcome plain = pack(f, {"/d", "plain"});
    EXPECT_EQ(plain.status, 0);
    EXPECT_EQ(plain.text, "Skipping b.bin (bigger than 64 K)\n"
                          "Skipping c.bin (bigger than 64 K)\n"
                          "Warning: Unknown file extension (a.bin)\n"
                          "1 files written to pelmo.pmf (65552 bytes).\n");
    const std::string file = f.read("pelmo.pmf");
    const webfile::ParseResult parsed = webfile::parse(file);
    ASSERT_TRUE(parsed.ok());
    EXPECT_EQ(parsed.entries[0].stored, bytes(65535));

    // With the 42-byte head the stored size reaches the 16-bit limit one byte earlier.
    f.write("head/fits.htm", bytes(65535 - 42));
    const Outcome fits = pack(f, {"/d", "head", "/o", "fits.pmf"});
    EXPECT_EQ(fits.status, 0);
    EXPECT_EQ(fits.text, "1 files written to fits.pmf (65555 bytes).\n");

    f.write("head/over.htm", bytes(65535 - 41));
    const Outcome over = pack(f, {"/d", "head", "/o", "fits.pmf"});
    EXPECT_EQ(over.status, 1);
    EXPECT_EQ(over.text, "Error: File over.htm is too big with its header (65536 bytes, at most "
                         "65535)!\n");
    EXPECT_EQ(f.read("fits.pmf").size(), 65555u);
}

TEST(Sitepack, EmptyFilesWithAndWithoutMatch) {
    TestFolder f;
    f.write("mimetype.ini", "htm text/html\n");
    f.write("site/a.htm", "");
    f.write("site/b.txt", "");
    f.write("site/c.txt", "abc");
    const Outcome o = pack(f, {"/d", "site"});
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.text, "Warning: Unknown file extension (b.txt)\n"
                      "Warning: Unknown file extension (c.txt)\n"
                      "3 files written to pelmo.pmf (86 bytes).\n");
    const std::string file = f.read("pelmo.pmf");
    const webfile::ParseResult parsed = webfile::parse(file);
    ASSERT_TRUE(parsed.ok()) << parsed.error;
    ASSERT_EQ(parsed.entries.size(), 3u);
    EXPECT_EQ(parsed.entries[0].stored, webfile::replyHead("text/html"));
    EXPECT_EQ(parsed.entries[1].stored.size(), 0u);
    EXPECT_EQ(parsed.entries[1].offset, parsed.entries[2].offset);
    EXPECT_EQ(parsed.entries[2].stored, "abc");
}

TEST(Sitepack, ExtensionMatchingIsByteForByteSuffixFirstMatch) {
    TestFolder f;
    // Pairs across lines, tabs and CR LF; the last pair has no line break, a lone word none.
    f.write("mimetype.ini", "gz application/gzip\r\ntar.gz\n\tapplication/x-tar\n"
                            "html  text/html\ngif image/gif\nGIF\timage/GIF odd");
    for (const char *name : {"a.tar.gz", "page.shtml", "x.html", "LOGO.GIF", "Logo.Gif", "gif", "f",
                             "x.odd", "y.gif"}) {
        f.write("site/"s + name, "1");
    }
    const Outcome o = pack(f, {"/d", "site"});
    EXPECT_EQ(o.status, 0);
    const std::string file = f.read("pelmo.pmf");
    EXPECT_EQ(o.text, "Warning: Unknown file extension (Logo.Gif)\n"
                      "Warning: Unknown file extension (f)\n"
                      "Warning: Unknown file extension (gif)\n"
                      "Warning: Unknown file extension (page.shtml)\n"
                      "Warning: Unknown file extension (x.odd)\n"
                      "9 files written to pelmo.pmf (" +
                          std::to_string(file.size()) + " bytes).\n");
    const webfile::ParseResult parsed = webfile::parse(file);
    ASSERT_TRUE(parsed.ok()) << parsed.error;
    std::map<std::string, std::string> types;
    for (const auto &e : parsed.entries) {
        types[std::string(e.name)] = std::string(webfile::headMimeType(e.stored).value_or("-"));
    }
    EXPECT_EQ(types, (std::map<std::string, std::string>{{"LOGO.GIF", "image/GIF"},
                                                         {"Logo.Gif", "-"},
                                                         {"a.tar.gz", "application/gzip"},
                                                         {"f", "-"},
                                                         {"gif", "-"},
                                                         {"page.shtml", "-"},
                                                         {"x.html", "text/html"},
                                                         {"x.odd", "-"},
                                                         {"y.gif", "image/gif"}}));
}

TEST(Sitepack, MissingTableStoresEveryFileWithoutHead) {
    TestFolder f;
    f.write("site/index.htm", "<html>");
    const Outcome o = pack(f, {"/d", "site"});
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.text, "Warning: Unknown file extension (index.htm)\n"
                      "1 files written to pelmo.pmf (27 bytes).\n");
}

TEST(Sitepack, ListingIsSortedAndLeavesTheOutputOut) {
    TestFolder f;
    f.write("mimetype.ini", "htm text/html\n");
    for (const char *name : {"b", "B", "a", "_x", ".hidden", "\xC3\xA9", "~"}) {
        f.write(name, name);
    }
    const Outcome first = pack(f, {});
    EXPECT_EQ(first.status, 0);
    const std::string firstFile = f.read("pelmo.pmf");
    EXPECT_EQ(entryNames(firstFile), (std::vector<std::string>{".hidden", "B", "_x", "a", "b",
                                                               "mimetype.ini", "~", "\xC3\xA9"}));
    // The web file of the first run lies in the packed folder now; it is not packed again,
    // whichever way the output is named, and neither is the temporary file of a killed run.
    f.write(".pelmo.pmf.tmp-99999-0", "half a web file");
    for (const auto &words : std::vector<std::vector<std::string>>{
             {}, {"/o", "./pelmo.pmf"}, {"/o", (f.path() / "pelmo.pmf").string()}}) {
        EXPECT_EQ(pack(f, words).status, 0);
        EXPECT_EQ(f.read("pelmo.pmf"), firstFile);
    }
}

namespace {

// A refusal writes nothing: an earlier web file stays as it was and no temporary file remains.
void expectRefusal(const TestFolder &f, const std::vector<std::string> &words,
                   const std::string &message) {
    f.write("out.pmf", "old web file");
    const std::set<std::string> before = f.names();
    const Outcome o = pack(f, words);
    EXPECT_EQ(o.status, 1);
    const std::size_t cut =
        o.text.size() < 2 ? std::string::npos : o.text.rfind('\n', o.text.size() - 2);
    EXPECT_EQ(cut == std::string::npos ? o.text : o.text.substr(cut + 1), message + "\n");
    EXPECT_EQ(f.read("out.pmf"), "old web file");
    EXPECT_EQ(f.names(), before);
}

std::string tablePairs(std::size_t count) {
    std::string table;
    for (std::size_t i = 0; i < count; ++i) {
        const std::string number = std::to_string(i);
        table.append("e").append(number).append(" t/").append(number).append("\n");
    }
    return table;
}

} // namespace

TEST(Sitepack, LimitsAreRefusedAndTheEdgesAccepted) {
    TestFolder f;
    const std::vector<std::string> words = {"/d", "site", "/o", "out.pmf"};
    f.write("site/a.htm", "a");

    f.write("mimetype.ini", tablePairs(170));
    expectRefusal(f, words, "Error: Too many entries in mimetype.ini (170, at most 169)!");
    f.write("mimetype.ini", tablePairs(169));
    EXPECT_EQ(pack(f, words).status, 0);

    f.write("mimetype.ini", "htm text/html\nabcdefghi text/plain\n");
    expectRefusal(f, words,
                  "Error: Extension abcdefghi in mimetype.ini is longer than 8 "
                  "characters!");
    const std::string longType(222, 't');
    f.write("mimetype.ini", "abcdefgh text/plain\nhtm " + longType + "t\n");
    expectRefusal(f, words,
                  "Error: MIME type " + longType +
                      "t in mimetype.ini is longer than "
                      "222 characters!");
    // The longest words give the longest head, 255 bytes.
    f.write("mimetype.ini", "abcdefgh text/plain\nhtm " + longType + "\n");
    EXPECT_EQ(pack(f, words).status, 0);
    EXPECT_EQ(webfile::parse(f.read("out.pmf")).entries[0].stored.size(), 256u);
    f.write("mimetype.ini", "");

    for (int i = 0; i < 256; ++i) {
        f.write("many/" + std::to_string(1000 + i), "");
    }
    f.makeFolder("many/folder");
    EXPECT_EQ(pack(f, {"/d", "many", "/o", "out.pmf"}).status, 0);
    EXPECT_EQ(entryNames(f.read("out.pmf")).size(), 256u);
    f.write("many/2000", "");
    expectRefusal(f, {"/d", "many", "/o", "out.pmf"},
                  "Error: Too many files in directory many (257, at most 256)!");
}

TEST(Sitepack, OverlongPathsAreRefused) {
    TestFolder f;
    f.write("mimetype.ini", "");
    const std::string name251(251, 'n');
    f.write("site/" + name251, "x");
    // "site/" and the name make exactly 256 characters; one shorter is accepted.
    expectRefusal(f, {"/d", "site", "/o", "out.pmf"},
                  "Error: Path longer than 255 characters: site/" + name251);
    expectRefusal(f, {"/d", "./site", "/o", "out.pmf"},
                  "Error: Path longer than 255 characters: ./site/" + name251);
    std::filesystem::rename(f / ("site/" + name251), f / ("site/" + name251.substr(1)));
    EXPECT_EQ(pack(f, {"/d", "site", "/o", "out.pmf"}).status, 0);

    const std::string folder256 = std::string(254, '.') + "/s";
    expectRefusal(f, {"/d", folder256, "/o", "out.pmf"},
                  "Error: Path longer than 255 characters: " + folder256);
    const std::string output256 = "./" + std::string(254, 'o');
    expectRefusal(f, {"/d", "site", "/o", output256},
                  "Error: Path longer than 255 characters: " + output256);
}

TEST(Sitepack, UnreadableFilesAreRefusedBeforeAnythingIsWritten) {
    TestFolder f;
    f.write("mimetype.ini", "htm text/html\n");
    f.write("site/a.htm", "a");
    std::filesystem::create_symlink("nowhere.htm", f / "site/gone.htm");
    expectRefusal(f, {"/d", "site", "/o", "out.pmf"},
                  "Error: Cannot read file site/gone.htm (No such file or directory)!");
    std::filesystem::remove(f / "site/gone.htm");

    // A named pipe would block a plain read forever.
    ASSERT_EQ(::mkfifo((f / "site/pipe.htm").c_str(), 0644), 0);
    expectRefusal(f, {"/d", "site", "/o", "out.pmf"},
                  "Error: Cannot read file site/pipe.htm (not a regular file)!");
    std::filesystem::remove(f / "site/pipe.htm");

    // A link to a file is packed as that file.
    std::filesystem::create_symlink("a.htm", f / "site/b.htm");
    EXPECT_EQ(pack(f, {"/d", "site", "/o", "out.pmf"}).status, 0);
    EXPECT_EQ(entryNames(f.read("out.pmf")), (std::vector<std::string>{"a.htm", "b.htm"}));
}

TEST(Sitepack, FailedWritesAreRefusedAndLeaveNothingBehind) {
    TestFolder f;
    f.write("site/a.htm", "a");
    const Outcome missing = pack(f, {"/d", "site", "/o", "nowhere/out.pmf"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.text.find("Error: Cannot write nowhere/out.pmf (No such file or "
                                "directory)!\n"),
              std::string::npos);

    f.makeFolder("taken");
    expectRefusal(f, {"/d", "site", "/o", "taken"}, "Error: Cannot write taken (Is a directory)!");
    EXPECT_TRUE(f.names("taken").empty());
}

TEST(Sitepack, OutputThroughALinkReplacesTheLinkedFile) {
    TestFolder f;
    f.write("site/a.htm", "a");
    f.write("store/real.pmf", "old");
    std::filesystem::create_symlink("store/real.pmf", f / "link.pmf");
    EXPECT_EQ(pack(f, {"/d", "site", "/o", "link.pmf"}).status, 0);
    EXPECT_TRUE(std::filesystem::is_symlink(f / "link.pmf"));
    EXPECT_EQ(entryNames(f.read("store/real.pmf")), std::vector<std::string>{"a.htm"});
    EXPECT_EQ(f.names("store"), std::set<std::string>{"real.pmf"});
}
