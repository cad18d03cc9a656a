#include "packer/atomicfile.h"
#include "packer/tests/testfolder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

namespace {

std::string pattern(std::size_t size) {
    std::string s(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        s[i] = static_cast<char>(i * 13 + i / 256);
    }
    return s;
}

int openForReading(const std::filesystem::path &path) {
    return ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
}

} // namespace

TEST(AtomicFile, ReplacesOnlyOnCommit) {
    TestFolder f;
    f.write("out.pmf", "old");
    std::string error;
    {
        sitepack::AtomicFile file;
        ASSERT_TRUE(file.open((f / "out.pmf").string(), error)) << error;
        ASSERT_TRUE(file.write("new", 3, error));
        EXPECT_EQ(f.read("out.pmf"), "old");
        EXPECT_EQ(f.names().size(), 2u);
        // Abandoned without commit: the temporary file goes, the old one stays.
    }
    EXPECT_EQ(f.names(), std::set<std::string>{"out.pmf"});
    EXPECT_EQ(f.read("out.pmf"), "old");

    sitepack::AtomicFile file;
    ASSERT_TRUE(file.open((f / "out.pmf").string(), error));
    ASSERT_TRUE(file.write("new", 3, error));
    ASSERT_TRUE(file.commit(error)) << error;
    EXPECT_EQ(f.read("out.pmf"), "new");
    EXPECT_EQ(f.names(), std::set<std::string>{"out.pmf"});
    EXPECT_FALSE(file.commit(error));
}

TEST(AtomicFile, LongestOutputNameStillGetsATemporaryName) {
    TestFolder f;
    const std::string name(255, 'w');
    std::string error;
    sitepack::AtomicFile file;
    ASSERT_TRUE(file.open((f / name).string(), error)) << error;
    ASSERT_TRUE(file.commit(error)) << error;
    EXPECT_EQ(f.names(), std::set<std::string>{name});
}

TEST(AtomicFile, CopiesWithinAndAcrossFileSystems) {
    TestFolder f;
    const std::string content = pattern(200000);
    f.write("source", content);
    std::vector<std::filesystem::path> sources = {f / "source"};
    // A source in memory-backed storage is on another file system than the output.
    const std::filesystem::path shm = "/dev/shm/sitepack-copy-" + std::to_string(::getpid());
    if (std::filesystem::is_directory("/dev/shm")) {
        std::ofstream(shm, std::ios::binary) << content;
        sources.push_back(shm);
    }
    for (const auto &source : sources) {
        SCOPED_TRACE(source.string());
        const int fd = openForReading(source);
        ASSERT_GE(fd, 0);
        std::string error;
        sitepack::AtomicFile file;
        ASSERT_TRUE(file.open((f / "out").string(), error));
        ASSERT_TRUE(file.write("head", 4, error));
        std::uint64_t copied = 0;
        ASSERT_TRUE(file.copyFrom(fd, 150000, copied, error)) << error;
        EXPECT_EQ(copied, 150000u);
        // Asking for more than the source holds copies what is there and says how much.
        ASSERT_TRUE(file.copyFrom(fd, 300000, copied, error)) << error;
        EXPECT_EQ(copied, 200000u);
        ASSERT_TRUE(file.commit(error));
        ::close(fd);
        EXPECT_EQ(f.read("out"), "head" + content.substr(0, 150000) + content);
    }
    std::filesystem::remove(shm);
}
