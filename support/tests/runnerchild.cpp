// A child program for the runner's tests: each argument is one action, done in order.
//   out:TEXT    write TEXT to standard output (\r \n \0 \\ \xHH escapes)
//   err:TEXT    the same to standard error
//   sleep:MS    pause
//   stdin       read standard input to its end, then write "eof\n"
//   bulk:BYTES  write BYTES bytes of 100-byte lines
//   fds         write "fds=N\n", the number of open descriptors
//   pid         write "pid=N\n"
//   grandchild  start a process that sleeps 60 s and write "gc=N\n"
//   close       close standard output and standard error
//   exit:N      end with status N
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <string>
#include <unistd.h>

static std::string Unescape(const char *text) {
    std::string result;
    for (const char *p = text; *p; ++p) {
        if (*p != '\\' || !p[1]) {
            result += *p;
            continue;
        }
        ++p;
        switch (*p) {
        case 'r':
            result += '\r';
            break;
        case 'n':
            result += '\n';
            break;
        case '0':
            result += '\0';
            break;
        case 'x': {
            char hex[3] = {p[1], p[1] ? p[2] : '\0', '\0'};
            result += static_cast<char>(std::strtol(hex, nullptr, 16));
            p += 2;
            break;
        }
        default:
            result += *p;
        }
    }
    return result;
}

static void WriteAll(int fd, const std::string &bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0)
            std::exit(9);
        done += static_cast<size_t>(n);
    }
}

int main(int argc, char **argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string action = argv[i];
        const std::string value = action.substr(action.find(':') + 1);
        if (action.rfind("out:", 0) == 0) {
            WriteAll(1, Unescape(value.c_str()));
        } else if (action.rfind("err:", 0) == 0) {
            WriteAll(2, Unescape(value.c_str()));
        } else if (action.rfind("sleep:", 0) == 0) {
            usleep(static_cast<useconds_t>(std::atoi(value.c_str())) * 1000);
        } else if (action == "stdin") {
            char buffer[256];
            while (read(0, buffer, sizeof buffer) > 0) {
            }
            WriteAll(1, "eof\n");
        } else if (action.rfind("bulk:", 0) == 0) {
            std::string line(99, 'x');
            line += '\n';
            std::string block;
            for (int k = 0; k < 640; ++k)
                block += line;
            long long left = std::atoll(value.c_str());
            while (left > 0) {
                const size_t n = left < static_cast<long long>(block.size()) ? left : block.size();
                WriteAll(1, block.substr(0, n));
                left -= static_cast<long long>(n);
            }
        } else if (action == "fds") {
            int count = 0;
            DIR *dir = opendir("/proc/self/fd");
            while (dirent *entry = readdir(dir)) {
                if (entry->d_name[0] != '.')
                    ++count;
            }
            closedir(dir);
            WriteAll(1, "fds=" + std::to_string(count - 1) + "\n");
        } else if (action == "pid") {
            WriteAll(1, "pid=" + std::to_string(getpid()) + "\n");
        } else if (action == "grandchild") {
            const pid_t pid = fork();
            if (pid == 0) {
                sleep(60);
                _exit(0);
            }
            WriteAll(1, "gc=" + std::to_string(pid) + "\n");
        } else if (action == "close") {
            close(1);
            close(2);
        } else if (action.rfind("exit:", 0) == 0) {
            return std::atoi(value.c_str());
        }
    }
    return 0;
}
