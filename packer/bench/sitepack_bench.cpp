// Packs 256 files of 60 KiB with sitepack and, in the same run, copies the same files into one
// file with cat; prints the ratio of the two times. Both are started the same way, as programs.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <vector>

extern char **environ;

namespace {

constexpr int kFiles = 256;
constexpr std::size_t kFileSize = 60 * 1024;

struct Workspace {
    std::filesystem::path root;
    std::vector<std::string> names; // relative to root

    Workspace() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "sitepack-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::perror("mkdtemp");
            std::exit(1);
        }
        root = pattern;
        std::filesystem::create_directory(root / "site");
        std::ofstream(root / "mimetype.ini") << "htm text/html\ngif image/gif\n";
        std::string content(kFileSize, '\0');
        for (int i = 0; i < kFiles; ++i) {
            for (std::size_t j = 0; j < content.size(); ++j) {
                content[j] = static_cast<char>((i * 31 + j * 7) & 0xFF);
            }
            char name[32];
            std::snprintf(name, sizeof name, "site/page%03d.%s", i, i % 4 == 0 ? "gif" : "htm");
            std::ofstream(root / name, std::ios::binary) << content;
            names.emplace_back(name);
        }
    }
    ~Workspace() { std::filesystem::remove_all(root); }
};

Workspace &workspace() {
    static Workspace w;
    return w;
}

// Runs a program in the workspace with its standard output going to `output`.
void runProgram(const std::vector<std::string> &words, const std::string &output,
                benchmark::State &state) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, workspace().root.c_str());
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    std::vector<std::string> args = words;
    std::vector<char *> argv;
    for (std::string &a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int error = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    if (error != 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0) {
        state.SkipWithError("the program failed");
    }
}

void BM_Sitepack(benchmark::State &state) {
    for (auto _ : state) {
        runProgram({SITEPACK_PROGRAM, "/d", "site", "/o", "site.pmf"}, "/dev/null", state);
    }
    state.SetBytesProcessed(state.iterations() * kFiles * kFileSize);
}

void BM_Cat(benchmark::State &state) {
    std::vector<std::string> words = {"cat"};
    words.insert(words.end(), workspace().names.begin(), workspace().names.end());
    for (auto _ : state) {
        runProgram(words, (workspace().root / "site.cat").string(), state);
    }
    state.SetBytesProcessed(state.iterations() * kFiles * kFileSize);
}

// Repetitions of the two are interleaved and their medians compared, so that a passing load on
// the machine weighs on both alike.
BENCHMARK(BM_Sitepack)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(0.5)->Repetitions(9);
BENCHMARK(BM_Cat)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(0.5)->Repetitions(9);

class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run> &runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &run : runs) {
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median" &&
                !run.error_occurred) {
                times[run.benchmark_name()] = run.GetAdjustedRealTime();
            }
        }
    }
    std::map<std::string, double> times;
};

} // namespace

int main(int argc, char **argv) {
    std::vector<char *> args(argv, argv + argc);
    char interleave[] = "--benchmark_enable_random_interleaving=true";
    args.insert(args.begin() + 1, interleave);
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    workspace();
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    double pack = 0;
    double copy = 0;
    for (const auto &[name, time] : reporter.times) {
        (name.starts_with("BM_Sitepack") ? pack : copy) = time;
    }
    if (pack > 0 && copy > 0) {
        std::printf("sitepack / cat: %.2f\n", pack / copy);
    }
    benchmark::Shutdown();
    return 0;
}
