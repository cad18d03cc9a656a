#include "packer/sitepack.h"

#include "packer/atomicfile.h"
#include "packer/folderlisting.h"
#include "packer/mimetable.h"
#include "packer/sitepackcommandline.h"
#include "packer/webfile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
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

// Opens a file to pack. A FIFO or device in the folder is refused rather than waited on.
int openRegular(const std::string &path, std::uint64_t &size, std::string &error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = std::strerror(errno);
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        error = "not a regular file";
        ::close(fd);
        return -1;
    }
    size = static_cast<std::uint64_t>(st.st_size);
    return fd;
}

std::uint64_t currentSize(int fd) {
    struct stat st {};
    return ::fstat(fd, &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : UINT64_MAX;
}

class FileCloser {
public:
    explicit FileCloser(int fd)
        : m_fd(fd) {}
    ~FileCloser() { ::close(m_fd); }
    FileCloser(const FileCloser &) = delete;
    FileCloser &operator=(const FileCloser &) = delete;

private:
    int m_fd;
};

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

    // A web file left in the folder by an earlier run is not packed into its successor, nor
    // the temporary file of a run that was killed while writing.
    const std::filesystem::path output(resolve(m_currentFolder, m_line.output));
    const std::string outputName = output.filename().string();
    const bool outputHere =
        !outputName.empty() &&
        sameFolder(folder,
                   output.has_parent_path() ? output.parent_path().string() : std::string("."));

    const std::string temporaryPrefix = AtomicFile::temporaryPrefix(outputName);
    for (const FolderEntry &entry : entries) {
        if (outputHere && (entry.name == outputName || entry.name.starts_with(temporaryPrefix))) {
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
        file.stored = static_cast<std::size_t>(stored);
        if (stored > webfile::kMaxStoredSize) {
            refuse("File " + file.name + " is too big with its header (" + std::to_string(stored) +
                   " bytes, at most " + std::to_string(webfile::kMaxStoredSize) + ")!");
            return false;
        }
    }
    return true;
}

int Packer::write(const std::vector<Packable> &files) {
    // The directory is made from the listed sizes. Each file must still be a regular file of
    // its listed size when its bytes are copied, and the web file is renamed into place only
    // when every entry was copied whole, so the directory always agrees with the bytes.
    std::vector<std::string> names;
    std::vector<std::size_t> sizes;
    std::size_t total = 0;
    for (const Packable &file : files) {
        names.push_back(file.name);
        sizes.push_back(file.stored);
    }
    const std::string directory = webfile::encodeDirectory(webfile::layOut(names, sizes));
    total += directory.size();

    AtomicFile output;
    std::string error;
    const auto cannotWrite = [&] {
        return refuse("Cannot write " + m_line.output + " (" + error + ")!");
    };
    if (!output.open(resolve(m_currentFolder, m_line.output), error) ||
        !output.write(directory.data(), directory.size(), error)) {
        return cannotWrite();
    }
    for (const Packable &file : files) {
        const std::string path = m_line.folder + "/" + file.name;
        std::uint64_t size = 0;
        const int fd = openRegular(resolve(m_currentFolder, path), size, error);
        if (fd < 0) {
            return refuse("Cannot read file " + path + " (" + error + ")!");
        }
        const FileCloser closer(fd);
        const std::string_view header =
            file.mimeIndex >= 0 ? std::string_view(m_table.entries()[file.mimeIndex].header)
                                : std::string_view();
        const std::string changed = "File " + path + " changed while it was packed!";
        if (size != file.listedSize) {
            return refuse(changed);
        }
        if (!output.write(header.data(), header.size(), error)) {
            return cannotWrite();
        }
        std::uint64_t copied = 0;
        if (!output.copyFrom(fd, size, copied, error)) {
            return refuse("Cannot copy " + path + " into " + m_line.output + " (" + error + ")!");
        }
        if (copied != size || currentSize(fd) != size) {
            return refuse(changed);
        }
        total += file.stored;
    }
    if (!output.commit(error)) {
        return cannotWrite();
    }
    m_out << files.size() << " files written to " << m_line.output << " (" << total << " bytes).\n";
    return 0;
}

} // namespace

int run(const std::vector<std::string> &words, const std::filesystem::path &currentFolder,
        std::ostream &out) {
    Packer packer(currentFolder, out);
    return packer.run(words);
}

} // namespace sitepack
