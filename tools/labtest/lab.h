// Helpers for test programs that run inside the test LAN ("netlab exec ... pc -- program", as
// quillet_add_lab_test registers them). Standard library and POSIX only.
#pragma once

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace labtest {

inline constexpr const char *notInLab =
    "not inside a test LAN: run through 'tools/netlab exec pc -- PROGRAM' (needs root)";

inline std::string env(const char *name) {
    const char *value = std::getenv(name);
    return value ? value : "";
}

// True only when this process runs in the computer's namespace of the lab named by
// NETLAB_NAME (as "netlab exec NAME pc -- ..." starts it). The variable alone proves nothing:
// a shell may export it to pick a lab, and a test started there by hand must not broadcast
// from the machine's own namespace. Use: if (!labtest::inLab()) GTEST_SKIP() << notInLab;
inline bool inLab() {
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

inline int deviceCount() {
    return std::atoi(env("NETLAB_DEVICES").c_str());
}

inline std::string pcAddress() {
    return "192.0.2.1";
}

// Device n (1-based) as the lab brings it up (and as "netlab devsim" restores it).
inline std::string deviceAddress(int n) {
    return "192.0.2." + std::to_string(10 + n);
}

inline std::string deviceDir(int n);
inline std::string readFile(const std::string &path);

// Device n's address in any lab (netlab up --lans/--foreign/--routed put devices on other
// networks), as netlab keeps it.
inline std::string labAddress(int n) {
    std::string address = readFile(deviceDir(n) + "/address");
    while (!address.empty() && (address.back() == '\n' || address.back() == ' ')) {
        address.pop_back();
    }
    return address.empty() ? deviceAddress(n) : address;
}

inline std::string deviceMac(int n) {
    char text[18];
    std::snprintf(text, sizeof text, "02-00-00-00-00-%02X", n & 0xFF);
    return text;
}

inline std::string deviceDir(int n) {
    return env("NETLAB_DIR") + "/dev" + std::to_string(n);
}
// Where the device's TFTP server writes uploads (WEB1, X5).
inline std::string tftpDir(int n) {
    return deviceDir(n) + "/tftp";
}
inline std::string logPath(int n) {
    return deviceDir(n) + "/devsim.log";
}

inline std::string readFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The simulator's log: one line per datagram ("recv info from=192.0.2.1:40000 len=4
// data=000000E4"), per reply ("reply info to=... len=130") and per action ("address ...",
// "upload name=WEB1 size=...", "link down", "link up", "ipsetup ignored reason=...").
inline std::string readLog(int n) {
    return readFile(logPath(n));
}

// Empties the log so that a test step sees only its own lines (the simulator appends).
inline void clearLog(int n) {
    std::ofstream(logPath(n), std::ios::trunc);
}

// The lines of device n's log that contain the text.
inline std::vector<std::string> logLines(int n, std::string_view contains) {
    std::vector<std::string> lines;
    std::istringstream in(readLog(n));
    for (std::string line; std::getline(in, line);) {
        if (line.find(contains) != std::string::npos) {
            lines.push_back(line);
        }
    }
    return lines;
}

inline bool waitForLog(int n, std::string_view contains, std::chrono::milliseconds timeout) {
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

// Runs a program (found in PATH) and gives its exit status, -1 when it could not run.
inline int run(std::vector<std::string> argv, bool quiet = true) {
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

// Restarts device n as new (its own address, link up, empty TFTP folder and log) with the
// simulator options on top of its base settings, e.g. {"--family", "4", "--no-info"}; see
// "devsim --help". Returns once the simulator listens.
inline bool restartDevice(int n, const std::vector<std::string> &options = {}) {
    std::vector<std::string> argv{env("NETLAB"), "devsim", "dev" + std::to_string(n)};
    argv.insert(argv.end(), options.begin(), options.end());
    return run(argv, false) == 0;
}

// Switches device n's link off (the device is gone: no echo, no datagram, no TFTP) or back
// on. restartDevice also switches it back on.
inline bool setLink(int n, bool up) {
    return run({env("NETLAB"), "link", "dev" + std::to_string(n), up ? "up" : "down"}, false) == 0;
}

enum class Tftp { On, Off, ReadOnly };

// Device n's TFTP server: running (the default), gone (uploads get no answer but an ICMP
// port unreachable), or refusing every upload with an access error. restartDevice turns it
// back on.
inline bool setTftp(int n, Tftp state) {
    const char *word = state == Tftp::On ? "on" : state == Tftp::Off ? "off" : "readonly";
    return run({env("NETLAB"), "tftp", "dev" + std::to_string(n), word}, false) == 0;
}

// Whether the address answers an ICMP echo within two seconds, through the system's ping.
// Echoes go out every 200 ms until the first reply, so a loaded machine or a link that has
// only just come up does not read as a silent device.
inline bool ping(const std::string &address) {
    return run({"ping", "-c", "1", "-i", "0.2", "-w", "2", "-q", address}) == 0;
}

// Whether a device that has just taken a new address answers there within the given time. The
// computer may still hold a failed address resolution from the echo test that came before the
// move, which the kernel retries in its own time.
inline bool waitForPing(const std::string &address, std::chrono::seconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    do {
        if (ping(address))
            return true;
    } while (std::chrono::steady_clock::now() < end);
    return false;
}

// How many children of this process run the program (its name as /proc shows it: "curl").
inline int runningChildren(const std::string &program) {
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
