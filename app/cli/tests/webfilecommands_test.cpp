// Reading, listing and extracting web files: round trips through the real packer, refusals of
// names that would leave the folder, and bad files that must fail cleanly.
#include "app/cli/webfilecommands.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace fs = std::filesystem;
using cli::extractWebFile;
using cli::loadWebFile;

namespace {

void writeFile(const fs::path &path, const std::string &content) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

std::string readFile(const fs::path &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::map<std::string, std::string> folderContents(const fs::path &folder) {
    std::map<std::string, std::string> files;
    for (const auto &entry : fs::directory_iterator(folder)) {
        files[entry.path().filename().string()] = readFile(entry.path());
    }
    return files;
}

std::string bytes(std::size_t count, unsigned seed) {
    std::string data(count, '\0');
    for (std::size_t i = 0; i < count; ++i) {
        seed = seed * 1103515245u + 12345u;
        data[i] = static_cast<char>(seed >> 16);
    }
    return data;
}

struct Temp {
    QTemporaryDir dir;
    fs::path path() const { return dir.path().toStdString(); }
};

// Packs `site` with the real packer, run in `work` beside the supplied MIME table.
fs::path pack(const fs::path &work, const fs::path &site) {
    fs::copy_file(QUILLET_PROGRAM_DIR "mimetype.ini", work / "mimetype.ini",
                  fs::copy_options::overwrite_existing);
    const fs::path out = work / "site.pmf";
    QProcess packer;
    packer.setWorkingDirectory(QString::fromStdString(work.string()));
    packer.start(QStringLiteral(QUILLET_PROGRAM_DIR "sitepack"),
                 {QStringLiteral("/d"), QString::fromStdString(site.string()), QStringLiteral("/o"),
                  QString::fromStdString(out.string())});
    EXPECT_TRUE(packer.waitForFinished(30000));
    EXPECT_EQ(packer.exitCode(), 0) << packer.readAll().toStdString();
    return out;
}

// Entries with the given names and bodies, each behind a text/html head.
std::string webFileOf(const std::vector<std::pair<std::string, std::string>> &entries) {
    std::vector<webfile::Entry> list;
    for (const auto &[name, body] : entries) {
        list.push_back({name, webfile::replyHead("text/html") + body});
    }
    return *webfile::build(list);
}

} // namespace

// Sites of different shapes: what the packer stores, extract gives back byte for byte.
TEST(WebFileExtract, PackThenExtractGivesBackTheSameFiles) {
    const std::vector<std::map<std::string, std::string>> sites = {
        {{"index.htm", "<html><title>Station</title></html>"}, {"logo.gif", bytes(200, 1)}},
        {// no MIME type, empty with and without a head, hidden, blanks and UTF-8 in names
         {"README", "plain text\r\n"},
         {"empty.htm", ""},
         {"empty", ""},
         {".hidden.css", "body{}"},
         {"my page.htm", "<p>blank</p>"},
         {"Grüße.txt", "umlauts"},
         {"LOGO.GIF", bytes(100, 2)}},
        {// the largest file that fits behind a text/html head, and content that looks like a
         // line end only
         {"big.htm", bytes(65535 - webfile::replyHead("text/html").size(), 3)},
         {"crlf.js", "\r\n\r\n"}},
    };
    for (const auto &site : sites) {
        Temp work;
        const fs::path source = work.path() / "site";
        for (const auto &[name, content] : site) {
            writeFile(source / name, content);
        }
        const auto file = loadWebFile(pack(work.path(), source));
        ASSERT_TRUE(file->ok()) << file->error;
        ASSERT_EQ(file->parsed.entries.size(), site.size());

        const fs::path out = work.path() / "out";
        const cli::ExtractResult result = extractWebFile(file->parsed, out, false);
        ASSERT_TRUE(result.ok()) << result.error;
        EXPECT_EQ(folderContents(out), site);
    }
}

TEST(WebFileExtract, RefusesNamesThatLeaveTheFolderAndWritesNothing) {
    for (const std::string &bad : std::vector<std::string>{
             "..", ".", "../escape.htm", "/etc/passwd", "sub/page.htm", std::string("a\0b", 3)}) {
        Temp work;
        const std::string bytes = webFileOf({{"index.htm", "ok"}, {bad, "evil"}});
        const webfile::ParseResult parsed = webfile::parse(bytes);
        ASSERT_TRUE(parsed.ok()) << parsed.error;
        const fs::path out = work.path() / "out";
        const cli::ExtractResult result = extractWebFile(parsed, out, true);
        EXPECT_FALSE(result.ok()) << cli::printableName(bad);
        EXPECT_NE(result.error.find("entry 2"), std::string::npos) << result.error;
        EXPECT_TRUE(result.written.empty());
        EXPECT_FALSE(fs::exists(out)) << "nothing is created before every name is checked";
        EXPECT_FALSE(fs::exists(work.path() / "escape.htm"));
    }
}

TEST(WebFileExtract, RepeatedNamesAreRefusedRatherThanSilentlyLost) {
    Temp work;
    const std::string bytes = webFileOf({{"a.htm", "first"}, {"a.htm", "second"}});
    const cli::ExtractResult result = extractWebFile(webfile::parse(bytes), work.path(), false);
    EXPECT_FALSE(result.ok());
    EXPECT_NE(result.error.find("repeats"), std::string::npos) << result.error;
}

TEST(WebFileExtract, KeepsExistingFilesUnlessToldAndNeverFollowsALinkInPlace) {
    Temp work;
    const fs::path out = work.path() / "out";
    const fs::path outside = work.path() / "outside.txt";
    writeFile(outside, "keep me");
    writeFile(out / "a.htm", "old");
    fs::create_symlink(outside, out / "b.htm");
    const std::string bytes = webFileOf({{"a.htm", "new a"}, {"b.htm", "new b"}});
    const webfile::ParseResult parsed = webfile::parse(bytes);

    cli::ExtractResult result = extractWebFile(parsed, out, false);
    EXPECT_FALSE(result.ok());
    EXPECT_EQ(readFile(out / "a.htm"), "old");

    result = extractWebFile(parsed, out, true);
    ASSERT_TRUE(result.ok()) << result.error;
    EXPECT_EQ(readFile(out / "a.htm"), "new a");
    EXPECT_FALSE(fs::is_symlink(out / "b.htm"));
    EXPECT_EQ(readFile(out / "b.htm"), "new b");
    EXPECT_EQ(readFile(outside), "keep me");
    EXPECT_EQ(folderContents(out).size(), 2u) << "no temporary file is left behind";
}

TEST(WebFileExtract, AFileWhereTheFolderShouldBeIsAnError) {
    Temp work;
    writeFile(work.path() / "out", "a file");
    const cli::ExtractResult result =
        extractWebFile(webfile::parse(webFileOf({{"a.htm", "x"}})), work.path() / "out", false);
    EXPECT_FALSE(result.ok());
}

TEST(WebFileList, ShowsEveryEntryInAlignedColumnsAndTheVerdict) {
    Temp work;
    const std::string data =
        *webfile::build({{"index.htm", webfile::replyHead("text/html") + "<p>"},
                         {"raw\x1b[2J", "no head"},
                         {"c1\xc2\x9b"
                          "2J\xc3\xa9",
                          "x"},
                         {"logo.gif", webfile::replyHead("image/gif") + bytes(1000, 4)}});
    writeFile(work.path() / "w.pmf", data);
    const auto file = loadWebFile(work.path() / "w.pmf");
    ASSERT_TRUE(file->ok()) << file->error;
    std::ostringstream out;
    cli::printListing(*file, out);
    const std::string expected = "NAME            SIZE  OFFSET  MIME TYPE\n"
                                 "index.htm         45      65  text/html\n"
                                 "raw\\x1B[2J         7     110  none\n"
                                 "c1\\xC2\\x9B2J\xC3\xA9     1     117  none\n"
                                 "logo.gif        1042     118  image/gif\n"
                                 "4 entries, 1160 bytes: the directory matches the stored bytes\n";
    EXPECT_EQ(out.str(), expected);
}

// Every way a web file can be damaged gives a clear message, never a crash (run under the
// sanitizers): every truncation, offsets past the end, a zero name length in the middle.
TEST(WebFileLoad, BadFilesGiveAClearFailure) {
    Temp work;
    const std::string good = webFileOf({{"index.htm", "<html>"}, {"logo.gif", bytes(300, 5)}});
    const fs::path path = work.path() / "bad.pmf";
    for (std::size_t length = 0; length < good.size(); ++length) {
        writeFile(path, good.substr(0, length));
        const auto file = loadWebFile(path);
        EXPECT_FALSE(file->ok()) << "truncated to " << length;
        EXPECT_NE(file->error.find("bad.pmf: "), std::string::npos) << file->error;
    }

    std::string pastEnd = good;
    pastEnd[4 + 16 + 6] = '\x7F'; // second record's offset, high byte
    writeFile(path, pastEnd);
    EXPECT_NE(loadWebFile(path)->error.find("starts at offset"), std::string::npos);

    std::string bigSize = good;
    bigSize[4 + 16 + 1] = '\xFF'; // second record's size, low byte
    bigSize[4 + 16 + 2] = '\xFF';
    writeFile(path, bigSize);
    EXPECT_NE(loadWebFile(path)->error.find("runs past the end"), std::string::npos);

    std::string zeroName = good;
    zeroName[4 + 16] = '\0'; // the second record's name length
    writeFile(path, zeroName);
    EXPECT_NE(loadWebFile(path)->error.find("a name length of 0 at offset 20 ends the directory "
                                            "early"),
              std::string::npos)
        << loadWebFile(path)->error;

    // An intact directory whose first offset is off says only that, whichever way it is off.
    for (const char firstOffsetLow : {'\x30', '\x10'}) {
        std::string firstOffset = good;
        firstOffset[4 + 3] = firstOffsetLow;
        writeFile(path, firstOffset);
        const std::string error = loadWebFile(path)->error;
        EXPECT_NE(error.find("entry 1 (index.htm) starts at offset "), std::string::npos) << error;
        EXPECT_NE(error.find(", expected 36 (right after the directory)"), std::string::npos)
            << error;
        EXPECT_EQ(error.find("name length"), std::string::npos) << error;
    }

    writeFile(path, "GIF89a not a web file");
    EXPECT_NE(loadWebFile(path)->error.find("not a web file"), std::string::npos);
}

TEST(WebFileLoad, MissingFoldersAndOversizedFilesAreRefusedWithoutReadingThem) {
    Temp work;
    EXPECT_NE(loadWebFile(work.path() / "none.pmf")->error.find("cannot open"), std::string::npos);
    EXPECT_NE(loadWebFile(work.path())->error.find("is a folder"), std::string::npos);

    const fs::path huge = work.path() / "huge.pmf";
    writeFile(huge, "PmF1");
    fs::resize_file(huge, 1ull << 32); // sparse: costs no disk
    const auto file = loadWebFile(huge);
    EXPECT_NE(file->error.find("longer than"), std::string::npos) << file->error;
    EXPECT_LE(file->bytes.capacity(), cli::kMaxWebFileSize + (1u << 17));
}
