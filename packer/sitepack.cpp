#include "sitepack.h"

#include "atomicfile.h"
#include "commandline.h"
#include "folderlisting.h"
#include "mimetable.h"
#include "webfile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace sitepack {

namespace {

constexpr std::size_t kMaxPathText = 255;
constexpr std::uint64_t kSkipFrom = 65536;
constexpr int kFailure = 1;

struct Packable {
    std::string name;
    std::uint64_t listedSize = 0;
    int mimeIndex = -1;
    std::size_t stored = 0;
};

std::string resolve(const std::filesystem::path &currentFolder, const std::string &text) {
    // An empty text names no file at all rather than the current folder.
    return text.empty() ? text : (currentFolder / text).string();
}

// Missing or unreadable reads as empty: the packer then stores every file without a head.
std::string readTable(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return {};
    }
    std::ostringstream text;
    text << in.rdbuf();
    return in.bad() ? std::string() : text.str();
}

bool sameFolder(const std::string &a, const std::string &b) {
    struct stat sa {};
    struct stat sb {};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

// Reads at most `capacity` bytes of a regular file into `dest`; a FIFO or device in the folder
// is refused rather than waited on.
bool readFile(const std::string &path, char *dest, std::size_t capacity, std::size_t &got,
              std::uint64_t &fileSize, std::string &error) {
    got = 0;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        error = "not a regular file";
        ::close(fd);
        return false;
    }
    fileSize = static_cast<std::uint64_t>(st.st_size);
    while (got < capacity) {
        const ssize_t n = ::read(fd, dest + got, capacity - got);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            error = std::strerror(errno);
            ::close(fd);
            return false;
        }
        if (n == 0) {
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    return true;
}

class Packer {
public:
    Packer(const std::filesystem::path &currentFolder, std::ostream &out)
        : m_currentFolder(currentFolder)
        , m_out(out) {}

    int run(const std::vector<std::string> &words);

private:
    int refuse(const std::string &message) {
        m_out << "Error: " << message << "\n";
        return kFailure;
    }
    bool pathTooLong(const std::string &text) {
        if (text.size() <= kMaxPathText) {
            return false;
        }
        m_out << "Error: Path longer than " << kMaxPathText << " characters: " << text << "\n";
        return true;
    }
    bool list(std::vector<Packable> &files);
    bool match(std::vector<Packable> &files);
    int write(const std::vector<Packable> &files);

    const std::filesystem::path m_currentFolder;
    std::ostream &m_out;
    MimeTable m_table;
    CommandLine m_line;
};

int Packer::run(const std::vector<std::string> &words) {
    m_out << "Morvask Sitepack V1.10 (May 24 2000).\n"
          << "Convert web directory to Pelmo web file.\n";
    const std::optional<CommandLine> line = parseCommandLine(words);
    if (!line) {
        m_out << "\nUsage: Sitepack [/o <output file>] [/d <directory>]\n";
        return kFailure;
    }
    m_line = *line;
    if (pathTooLong(m_line.folder) || pathTooLong(m_line.output)) {
        return kFailure;
    }

    std::string error;
    if (!m_table.load(readTable((m_currentFolder / "mimetype.ini").string()), error)) {
        return refuse(error);
    }

    std::vector<Packable> files;
    if (!list(files)) {
        return kFailure;
    }
    if (files.empty()) {
        m_out << "No files to process!\n";
        return kFailure;
    }
    if (!match(files)) {
        return kFailure;
    }
    return write(files);
}

bool Packer::list(std::vector<Packable> &files) {
    const std::string folder = resolve(m_currentFolder, m_line.folder);
    std::vector<FolderEntry> entries;
    if (!listFolder(folder, entries)) {
        m_out << "No files in directory " << m_line.folder << "!\n";
        return true;
    }

    // A web file left in the folder by an earlier run is not packed into its successor.
    const std::filesystem::path output(resolve(m_currentFolder, m_line.output));
    const std::string outputName = output.filename().string();
    const bool outputHere =
        !outputName.empty() &&
        sameFolder(folder,
                   output.has_parent_path() ? output.parent_path().string() : std::string("."));

    for (const FolderEntry &entry : entries) {
        if (outputHere && entry.name == outputName) {
            continue;
        }
        if (entry.size >= kSkipFrom) {
            m_out << "Skipping " << entry.name << " (bigger than 64 K)\n";
            continue;
        }
        if (entry.isFolder) {
            continue;
        }
        if (pathTooLong(m_line.folder + "/" + entry.name)) {
            return false;
        }
        files.push_back({entry.name, entry.size, -1, 0});
    }
    if (files.size() > webfile::kMaxEntries) {
        refuse("Too many files in directory " + m_line.folder + " (" +
               std::to_string(files.size()) + ", at most " + std::to_string(webfile::kMaxEntries) +
               ")!");
        return false;
    }
    return true;
}

bool Packer::match(std::vector<Packable> &files) {
    for (Packable &file : files) {
        file.mimeIndex = m_table.match(file.name);
        std::uint64_t stored = file.listedSize;
        if (file.mimeIndex < 0) {
            m_out << "Warning: Unknown file extension (" << file.name << ")\n";
        } else {
            stored += m_table.entries()[file.mimeIndex].header.size();
        }
        if (stored > webfile::kMaxStoredSize) {
            refuse("File " + file.name + " is too big with its header (" + std::to_string(stored) +
                   " bytes, at most " + std::to_string(webfile::kMaxStoredSize) + ")!");
            return false;
        }
    }
    return true;
}

int Packer::write(const std::vector<Packable> &files) {
    // All stored bytes are read before anything is written, and the directory is made from
    // what was actually read, so a file that changes or vanishes meanwhile cannot make the
    // directory disagree with the bytes. Each entry's room is one byte over the limit, which
    // tells a file that grew past it; pages beyond what is read are never touched.
    constexpr std::size_t kRoom = webfile::kMaxStoredSize + 1;
    const std::unique_ptr<char[]> arena(new char[kRoom * files.size()]);
    std::size_t used = 0;
    std::vector<std::string> names;
    std::vector<std::size_t> sizes;
    names.reserve(files.size());
    sizes.reserve(files.size());
    for (const Packable &file : files) {
        std::size_t head = 0;
        if (file.mimeIndex >= 0) {
            const std::string &header = m_table.entries()[file.mimeIndex].header;
            head = header.size();
            std::memcpy(arena.get() + used, header.data(), head);
        }
        const std::string path = m_line.folder + "/" + file.name;
        std::size_t got = 0;
        std::uint64_t fileSize = 0;
        std::string error;
        if (!readFile(resolve(m_currentFolder, path), arena.get() + used + head, kRoom - head, got,
                      fileSize, error)) {
            return refuse("Cannot read file " + path + " (" + error + ")!");
        }
        if (head + got > webfile::kMaxStoredSize) {
            const std::uint64_t stored = head + std::max<std::uint64_t>(fileSize, got);
            return refuse("File " + file.name + " is too big with its header (" +
                          std::to_string(stored) + " bytes, at most " +
                          std::to_string(webfile::kMaxStoredSize) + ")!");
        }
        used += head + got;
        names.push_back(file.name);
        sizes.push_back(head + got);
    }

    const std::string directory = webfile::encodeDirectory(webfile::layOut(names, sizes));
    AtomicFile output;
    std::string error;
    if (!output.open(resolve(m_currentFolder, m_line.output), error) ||
        !output.write(directory.data(), directory.size(), error) ||
        !output.write(arena.get(), used, error) || !output.commit(error)) {
        return refuse("Cannot write " + m_line.output + " (" + error + ")!");
    }
    m_out << files.size() << " files written to " << m_line.output << " ("
          << directory.size() + used << " bytes).\n";
    return 0;
}

} // namespace

int run(const std::vector<std::string> &words, const std::filesystem::path &currentFolder,
        std::ostream &out) {
    Packer packer(currentFolder, out);
    return packer.run(words);
}

} // namespace sitepack
