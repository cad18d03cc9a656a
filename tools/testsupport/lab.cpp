#include "tools/testsupport/lab.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char **environ;

namespace labtest {

std::string env(const char *name) {
    const char *value = std::getenv(name);
    return value ? value : "";
}

bool inLab() {
    const std::string name = env("NETLAB_NAME");
    if (name.empty() || env("NETLAB_DIR").empty()) {
        return false;
    }
    struct stat self {};
    struct stat pc {};
    if (::stat("/proc/self/ns/net", &self) != 0 ||
        ::stat(("/run/netns/" + name + "-pc").c_str(), &pc) != 0) {
        return false;
    }
    return self.st_dev == pc.st_dev && self.st_ino == pc.st_ino;
}

int deviceCount() {
    return std::atoi(env("NETLAB_DEVICES").c_str());
}

std::string pcAddress() {
    return "192.0.2.1";
}

std::string deviceAddress(int n) {
    return "192.0.2." + std::to_string(10 + n);
}

std::string deviceMac(int n) {
    char text[18];
    std::snprintf(text, sizeof text, "02-00-00-00-00-%02X", n & 0xFF);
    return text;
}

QString Address(int n) {
    return QString::fromStdString(deviceAddress(n));
}

QString Mac(int n) {
    return QString::fromStdString(deviceMac(n));
}

std::string labAddress(int n) {
    std::string address = readFile(deviceDir(n) + "/address");
    while (!address.empty() && (address.back() == '\n' || address.back() == ' ')) {
        address.pop_back();
    }
    return address.empty() ? deviceAddress(n) : address;
}

std::string deviceDir(int n) {
    return env("NETLAB_DIR") + "/dev" + std::to_string(n);
}

std::string tftpDir(int n) {
    return deviceDir(n) + "/tftp";
}

std::string logPath(int n) {
    return deviceDir(n) + "/devsim.log";
}

std::string readFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string readLog(int n) {
    return readFile(logPath(n));
}

void clearLog(int n) {
    std::ofstream(logPath(n), std::ios::trunc);
}

std::vector<std::string> logLines(int n, std::string_view contains) {
    std::vector<std::string> lines;
    std::istringstream in(readLog(n));
    for (std::string line; std::getline(in, line);) {
        if (line.find(contains) != std::string::npos) {
            lines.push_back(line);
        }
    }
    return lines;
}

bool waitForLog(int n, std::string_view contains, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (readLog(n).find(contains) != std::string::npos) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

std::vector<std::uint8_t> ipSetup(std::uint8_t mac5, std::uint8_t mac6,
                                  std::array<std::uint8_t, 4> address) {
    std::vector<std::uint8_t> d{0,   0,   0,   0xFC, 'I', 'P', '-',  'S',
                                'E', 'T', 'U', 'P',  0,   0,   mac5, mac6};
    d.insert(d.end(), address.begin(), address.end());
    return d;
}

int run(std::vector<std::string> argv, bool quiet) {
    std::vector<char *> args;
    for (auto &arg : argv) {
        args.push_back(arg.data());
    }
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (quiet) {
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
    }
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        return -1;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            return -1;
        }
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool restartDevice(int n, const std::vector<std::string> &options) {
    std::vector<std::string> argv{env("NETLAB"), "devsim", "dev" + std::to_string(n)};
    argv.insert(argv.end(), options.begin(), options.end());
    return run(argv, false) == 0;
}

bool setLink(int n, bool up) {
    return run({env("NETLAB"), "link", "dev" + std::to_string(n), up ? "up" : "down"}, false) == 0;
}

bool setLinkRate(int n, int kbitPerSecond) {
    std::vector<std::string> argv{env("NETLAB"), "exec", "dev" + std::to_string(n),
                                  "--",          "tc",   "qdisc"};
    if (kbitPerSecond <= 0) {
        argv.insert(argv.end(), {"del", "dev", "eth0", "root"});
        return run(argv) == 0;
    }
    argv.insert(argv.end(),
                {"replace", "dev", "eth0", "root", "tbf", "rate",
                 std::to_string(kbitPerSecond) + "kbit", "burst", "1600", "latency", "500ms"});
    return run(argv, false) == 0;
}

bool setTftp(int n, Tftp state) {
    const char *word = state == Tftp::On ? "on" : state == Tftp::Off ? "off" : "readonly";
    return run({env("NETLAB"), "tftp", "dev" + std::to_string(n), word}, false) == 0;
}

bool ping(const std::string &address) {
    return run({"ping", "-c", "1", "-i", "0.2", "-w", "2", "-q", address}) == 0;
}

bool waitForPing(const std::string &address, std::chrono::seconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    do {
        if (ping(address))
            return true;
    } while (std::chrono::steady_clock::now() < end);
    return false;
}

int runningChildren(const std::string &program) {
    int count = 0;
    const std::string self = std::to_string(::getpid());
    std::error_code error;
    for (const auto &entry : std::filesystem::directory_iterator("/proc", error)) {
        // pid (comm) state ppid ...
        const std::string stat = readFile(entry.path().string() + "/stat");
        const auto open = stat.find('(');
        const auto close = stat.rfind(')');
        if (open == std::string::npos || close == std::string::npos ||
            stat.substr(open + 1, close - open - 1) != program)
            continue;
        std::istringstream rest(stat.substr(close + 1));
        std::string state;
        std::string parent;
        rest >> state >> parent;
        if (parent == self)
            ++count;
    }
    return count;
}

} // namespace labtest
