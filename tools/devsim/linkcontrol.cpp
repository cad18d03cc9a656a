#include "tools/devsim/linkcontrol.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <net/if.h>
#include <net/route.h>
#include <netinet/in.h>
#include <sched.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace devsim {
namespace {

std::string runIp(std::vector<std::string> args) {
    args.insert(args.begin(), "ip");
    std::vector<char *> argv;
    for (auto &arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, "ip", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    std::string command;
    for (std::size_t i = 0; i < args.size(); ++i) {
        command += (i ? " " : "") + args[i];
    }
    if (rc != 0) {
        return command + ": " + std::strerror(rc);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return command + ": failed";
    }
    return {};
}

} // namespace

bool inMachineNamespace() {
    struct stat self {};
    if (::stat("/proc/self/ns/net", &self) != 0) {
        return true;
    }
    // The kernel's first network namespace always has this inode number.
    constexpr ino_t initialNamespace = 0xEFFFFFF9U;
    if (self.st_ino == initialNamespace) {
        return true;
    }
    struct stat machine {};
    if (::stat("/proc/1/ns/net", &machine) == 0 && machine.st_dev == self.st_dev &&
        machine.st_ino == self.st_ino) {
        return true;
    }
    // Positive proof: a lab's namespaces are named ones, bound under /run/netns.
    DIR *named = ::opendir("/run/netns");
    if (named == nullptr) {
        return true;
    }
    bool found = false;
    while (const dirent *entry = ::readdir(named)) {
        struct stat candidate {};
        const std::string path = std::string("/run/netns/") + entry->d_name;
        if (entry->d_name[0] != '.' && ::stat(path.c_str(), &candidate) == 0 &&
            candidate.st_dev == self.st_dev && candidate.st_ino == self.st_ino) {
            found = true;
            break;
        }
    }
    ::closedir(named);
    return !found;
}

std::string enterNamespace(const std::string &name) {
    if (name.empty() || name.find('/') != std::string::npos || name[0] == '.') {
        return "bad namespace name \"" + name + "\"";
    }
    const std::string path = "/run/netns/" + name;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return path + ": " + std::strerror(errno);
    }
    const int rc = ::setns(fd, CLONE_NEWNET);
    const int error = errno;
    ::close(fd);
    if (rc != 0) {
        return "enter " + path + ": " + std::strerror(error);
    }
    ::setsid(); // fails only for a group leader, which keeps its session: harmless
    return {};
}

std::string bootLink(const std::string &interfaceName, const std::string &address) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return std::string("socket: ") + std::strerror(errno);
    }
    std::string error;
    auto request = [&](unsigned long code, const std::string &name, void *argument,
                       const char *what) {
        if (error.empty() && ::ioctl(fd, code, argument) < 0 &&
            !(code == SIOCADDRT && errno == EEXIST)) {
            error = name + ": " + what + ": " + std::strerror(errno);
        }
    };
    auto setAddress = [&](unsigned long code, const std::string &text, const char *what) {
        ifreq r{};
        std::strncpy(r.ifr_name, interfaceName.c_str(), IFNAMSIZ - 1);
        auto *in = reinterpret_cast<sockaddr_in *>(&r.ifr_addr);
        in->sin_family = AF_INET;
        if (::inet_pton(AF_INET, text.c_str(), &in->sin_addr) != 1) {
            error = "bad address " + text;
            return;
        }
        request(code, interfaceName, &r, what);
    };
    auto bringUp = [&](const std::string &name) {
        ifreq r{};
        std::strncpy(r.ifr_name, name.c_str(), IFNAMSIZ - 1);
        request(SIOCGIFFLAGS, name, &r, "flags");
        r.ifr_flags |= IFF_UP;
        request(SIOCSIFFLAGS, name, &r, "up");
    };
    bringUp("lo");
    setAddress(SIOCSIFADDR, address, "address");
    setAddress(SIOCSIFNETMASK, "255.255.255.0", "netmask");
    bringUp(interfaceName);
    rtentry route{};
    reinterpret_cast<sockaddr_in *>(&route.rt_dst)->sin_family = AF_INET;
    reinterpret_cast<sockaddr_in *>(&route.rt_genmask)->sin_family = AF_INET;
    route.rt_flags = RTF_UP;
    std::string device = interfaceName;
    route.rt_dev = device.data();
    request(SIOCADDRT, interfaceName, &route, "default route");
    ::close(fd);
    return error;
}

NamespaceLink::NamespaceLink(std::string interfaceName)
    : interface_(std::move(interfaceName)) {
}

std::string NamespaceLink::setUp(bool up) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return std::string("socket: ") + std::strerror(errno);
    }
    ifreq request{};
    std::strncpy(request.ifr_name, interface_.c_str(), IFNAMSIZ - 1);
    std::string error;
    if (::ioctl(fd, SIOCGIFFLAGS, &request) < 0) {
        error = interface_ + ": " + std::strerror(errno);
    } else {
        if (up) {
            request.ifr_flags |= IFF_UP;
        } else {
            request.ifr_flags &= ~IFF_UP;
        }
        if (::ioctl(fd, SIOCSIFFLAGS, &request) < 0) {
            error = interface_ + ": " + std::strerror(errno);
        }
    }
    ::close(fd);
    // Taking a link down drops the default route through it; a device that comes back must
    // still reach senders outside its own subnet (after an address move, all of them are).
    if (error.empty() && up) {
        error = runIp({"route", "replace", "default", "dev", interface_});
    }
    return error;
}

std::string NamespaceLink::moveAddress(const std::string &address) {
    // "-4 addr flush" keeps the IPv6 link-local address that a plain flush would remove.
    if (auto error = runIp({"-4", "addr", "flush", "dev", interface_}); !error.empty()) {
        return error;
    }
    if (auto error = runIp({"addr", "add", address + "/24", "dev", interface_}); !error.empty()) {
        return error;
    }
    // Fails while the link is down; the route comes back with the link (setUp).
    runIp({"route", "replace", "default", "dev", interface_});
    return {};
}

} // namespace devsim
