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
#include <sys/resource.h>
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

// Runs a program in the workspace with its standard output going to `output`; returns the
// processor time it used, user and system, in milliseconds.
double runProgram(const std::vector<std::string> &words, const std::string &output,
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
    rusage usage{};
    if (error != 0 || ::wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0) {
        state.SkipWithError("the program failed");
    }
    const auto ms = [](const timeval &t) {
        return t.tv_sec * 1e3 + t.tv_usec / 1e3;
    };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

void BM_Sitepack(benchmark::State &state) {
    double cpu = 0;
    for (auto _ : state) {
        cpu += runProgram({SITEPACK_PROGRAM, "/d", "site", "/o", "site.pmf"}, "/dev/null", state);
    }
    state.counters["child_cpu_ms"] = cpu / static_cast<double>(state.iterations());
    state.SetBytesProcessed(state.iterations() * kFiles * kFileSize);
}

void BM_Cat(benchmark::State &state) {
    std::vector<std::string> words = {"cat"};
    words.insert(words.end(), workspace().names.begin(), workspace().names.end());
    double cpu = 0;
    for (auto _ : state) {
        cpu += runProgram(words, (workspace().root / "site.cat").string(), state);
    }
    state.counters["child_cpu_ms"] = cpu / static_cast<double>(state.iterations());
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
                cpu[run.benchmark_name()] = run.counters.at("child_cpu_ms").value;
            }
        }
    }
    std::map<std::string, double> times;
    std::map<std::string, double> cpu;
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
    const auto ratio = [](const std::map<std::string, double> &values) {
        double pack = 0;
        double copy = 0;
        for (const auto &[name, value] : values) {
            (name.starts_with("BM_Sitepack") ? pack : copy) = value;
        }
        return pack > 0 && copy > 0 ? pack / copy : 0.0;
    };
    std::printf("sitepack / cat, elapsed time: %.2f\n", ratio(reporter.times));
    std::printf("sitepack / cat, processor time of the program: %.2f\n", ratio(reporter.cpu));
    benchmark::Shutdown();
    return 0;
}
