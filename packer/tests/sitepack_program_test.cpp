// The real sitepack program: its current folder, its standard output and error, its status.
#include "packer/tests/testfolder.h"
#include "packer/webfile.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const std::string kBanner = "Morvask Sitepack V1.10 (May 24 2000).\n"
                            "Convert web directory to Pelmo web file.\n";

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

// Starts sitepack in `folder`; `maxFileSize` > 0 limits the size of files it may write, which
// makes a write fail as on a full disk.
Result runSitepack(const std::filesystem::path &folder, const std::vector<std::string> &words,
                   rlim_t maxFileSize = 0) {
    const std::string program = QUILLET_PROGRAM_DIR "sitepack";
    int outPipe[2];
    int errPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0 || ::pipe2(errPipe, O_CLOEXEC) != 0) {
        ADD_FAILURE() << "pipe";
        return {};
    }
    std::vector<std::string> args = {program};
    args.insert(args.end(), words.begin(), words.end());
    std::vector<char *> argv;
    for (std::string &a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);

    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(outPipe[1], 1);
        ::dup2(errPipe[1], 2);
        if (maxFileSize > 0) {
            const rlimit limit{maxFileSize, maxFileSize};
            ::setrlimit(RLIMIT_FSIZE, &limit);
            ::signal(SIGXFSZ, SIG_IGN);
        }
        if (::chdir(folder.c_str()) == 0) {
            ::execv(program.c_str(), argv.data());
        }
        ::_exit(127);
    }
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    Result result;
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    std::string *sinks[2] = {&result.out, &result.err};
    int open = 2;
    while (open > 0 && ::poll(fds, 2, 10000) > 0) {
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd >= 0 && fds[i].revents != 0) {
                char buffer[4096];
                const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
                if (n <= 0) {
                    ::close(fds[i].fd);
                    fds[i].fd = -1;
                    --open;
                } else {
                    sinks[i]->append(buffer, static_cast<std::size_t>(n));
                }
            }
        }
    }
    int wstatus = 0;
    ::waitpid(pid, &wstatus, 0);
    result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
    return result;
}

} // namespace

TEST(SitepackProgram, PacksItsCurrentFolderByDefault) {
    TestFolder f;
    f.write("mimetype.ini", "htm text/html\ngif image/gif\n");
    f.write("index.htm", std::string(100, 'h'));
    f.write("logo.gif", std::string(200, 'g'));
    f.write("pelmo.pmf", "from an earlier run");

    const Result r = runSitepack(f.path(), {});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    // mimetype.ini lies in the packed folder too and is packed like any other file.
    const std::string file = f.read("pelmo.pmf");
    EXPECT_EQ(r.out, kBanner +
                         "Warning: Unknown file extension (mimetype.ini)\n"
                         "3 files written to pelmo.pmf (" +
                         std::to_string(file.size()) + " bytes).\n");
    const webfile::ParseResult parsed = webfile::parse(file);
    ASSERT_TRUE(parsed.ok()) << parsed.error;
    ASSERT_EQ(parsed.entries.size(), 3u);
    EXPECT_EQ(parsed.entries[0].name, "index.htm");
    EXPECT_EQ(parsed.entries[0].stored, webfile::replyHead("text/html") + std::string(100, 'h'));
}

TEST(SitepackProgram, ReadsTheTableFromItsCurrentFolderNotBesideItself) {
    // The program folder holds the supplied table, which maps htm; this folder has none.
    ASSERT_TRUE(std::filesystem::exists(QUILLET_PROGRAM_DIR "mimetype.ini"));
    TestFolder f;
    f.write("site/index.htm", "<html>");
    const Result r = runSitepack(f.path(), {"/d", "site", "/o", "out.pmf"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, kBanner + "Warning: Unknown file extension (index.htm)\n"
                               "1 files written to out.pmf (27 bytes).\n");
}

TEST(SitepackProgram, FailuresExitWithOneAndWriteNothingToStandardError) {
    TestFolder f;
    const Result usage = runSitepack(f.path(), {"/o"});
    EXPECT_EQ(usage.status, 1);
    EXPECT_EQ(usage.out, kBanner + "\nUsage: Sitepack [/o <output file>] [/d <directory>]\n");
    EXPECT_EQ(usage.err, "");

    const Result missing = runSitepack(f.path(), {"/d", "nothere"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.out, kBanner + "No files in directory nothere!\nNo files to process!\n");
    EXPECT_EQ(missing.err, "");
}

TEST(SitepackProgram, FullDiskKeepsThePreviousWebFile) {
    TestFolder f;
    f.write("mimetype.ini", "bin application/octet-stream\n");
    f.write("site/a.bin", std::string(60000, 'a'));
    f.write("out.pmf", "previous web file");

    // The limit stops the directory itself, then the copy of the file's bytes.
    const struct {
        rlim_t limit;
        std::string message;
    } cases[] = {
        {10, "Error: Cannot write out.pmf (File too large)!\n"},
        {4096, "Error: Cannot copy site/a.bin into out.pmf (File too large)!\n"},
    };
    for (const auto &c : cases) {
        const Result r = runSitepack(f.path(), {"/d", "site", "/o", "out.pmf"}, c.limit);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, kBanner + c.message);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(f.read("out.pmf"), "previous web file");
        EXPECT_EQ(f.names(), (std::set<std::string>{"mimetype.ini", "out.pmf", "site"}));
    }
}
