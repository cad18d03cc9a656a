#include "app/cli/webfilecommands.h"

#include "app/cli/interruptwatch.h"
#include "app/cli/previewserver.h"

#include <QEventLoop>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <iomanip>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace cli {

namespace fs = std::filesystem;

namespace {

QString systemError(int number) {
    return QString::fromLocal8Bit(std::strerror(number));
}

QString fromStd(const std::string &s) {
    return QString::fromStdString(s);
}

// Writes all bytes to a descriptor, going on after short writes and interruptions.
bool writeAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// Writes one file under a temporary name in its folder and renames it into place.
std::string writeFileAtomically(const fs::path &folder, const std::string &name,
                                std::string_view data) {
    std::string temp = (folder / ".quillet-extract-XXXXXX").string();
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        return text(CliText::tr("cannot create a file in %1: %2")
                        .arg(fromStd(folder.string()), systemError(errno)));
    }
    // mkstemp creates the file for its owner alone; extracted files get the usual mode.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    const bool written = writeAll(fd, data);
    const int writeError = errno;
    if (::close(fd) != 0 || !written) {
        const int error = written ? errno : writeError;
        ::unlink(temp.c_str());
        return text(CliText::tr("cannot write %1: %2")
                        .arg(fromStd(printableName(name)), systemError(error)));
    }
    const fs::path target = folder / name;
    if (::rename(temp.c_str(), target.c_str()) != 0) {
        const int error = errno;
        ::unlink(temp.c_str());
        return text(CliText::tr("cannot write %1: %2")
                        .arg(fromStd(printableName(name)), systemError(error)));
    }
    return {};
}

} // namespace

std::unique_ptr<LoadedWebFile> loadWebFile(const fs::path &path) {
    auto file = std::make_unique<LoadedWebFile>();
    const std::string shown = path.string();
    std::error_code ec;
    if (fs::is_directory(path, ec)) {
        file->error = text(CliText::tr("%1: is a folder, not a web file").arg(fromStd(shown)));
        return file;
    }
    std::FILE *in = std::fopen(path.c_str(), "rb");
    if (!in) {
        file->error =
            text(CliText::tr("cannot open %1: %2").arg(fromStd(shown), systemError(errno)));
        return file;
    }
    // Read one byte past the limit to tell a file of exactly the limit from a longer one.
    std::string bytes;
    char buffer[65536];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0) {
        bytes.append(buffer, n);
        if (bytes.size() > kMaxWebFileSize) {
            break;
        }
    }
    const bool readError = std::ferror(in) != 0;
    std::fclose(in);
    if (readError) {
        file->error = text(CliText::tr("cannot read %1").arg(fromStd(shown)));
        return file;
    }
    if (bytes.size() > kMaxWebFileSize) {
        file->error = text(CliText::tr("%1: not a web file: longer than %2 bytes, the most a web "
                                       "file can hold")
                               .arg(fromStd(shown), QString::number(kMaxWebFileSize)));
        return file;
    }
    file->bytes = std::move(bytes);
    file->parsed = webfile::parse(file->bytes);
    if (!file->parsed.ok()) {
        // The reader's reason stays English; only a verdict of its own gets translated.
        constexpr std::string_view verdict = "not a web file: ";
        const std::string &reason = file->parsed.error;
        file->error = reason.starts_with(verdict)
                          ? text(CliText::tr("%1: not a web file: %2")
                                     .arg(fromStd(shown), fromStd(reason.substr(verdict.size()))))
                          : shown + ": " + reason;
    }
    return file;
}

std::string printableName(std::string_view name) {
    std::string shown;
    const auto escape = [&shown](unsigned char byte) {
        char escaped[5];
        std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
        shown += escaped;
    };
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto byte = static_cast<unsigned char>(name[i]);
        const auto next = i + 1 < name.size() ? static_cast<unsigned char>(name[i + 1]) : 0;
        if (byte < 0x20 || byte == 0x7F) {
            escape(byte);
        } else if (byte == 0xC2 && next >= 0x80 && next <= 0x9F) {
            // A C1 control in UTF-8: a terminal takes U+009B alone for the start of a sequence.
            escape(byte);
            escape(next);
            ++i;
        } else {
            shown += static_cast<char>(byte);
        }
    }
    return shown;
}

std::string_view entryBody(std::string_view stored) {
    if (!webfile::headMimeType(stored)) {
        return stored;
    }
    const std::size_t end = stored.find(webfile::kHeadSuffix, webfile::kHeadPrefix.size());
    return stored.substr(end + webfile::kHeadSuffix.size());
}

std::string unsafeNameReason(std::string_view name) {
    if (name.empty()) {
        return "the name is empty";
    }
    if (name == "." || name == "..") {
        return "the name refers to a folder";
    }
    if (name.find('/') != std::string_view::npos) {
        return "the name contains \"/\"";
    }
    if (name.find('\0') != std::string_view::npos) {
        return "the name contains a zero byte";
    }
    return {};
}

void printListing(const LoadedWebFile &file, std::ostream &out) {
    struct Row {
        std::string name, size, offset, mime;
    };
    std::vector<Row> rows;
    rows.push_back({"NAME", "SIZE", "OFFSET", "MIME TYPE"});
    for (const webfile::ParsedEntry &e : file.parsed.entries) {
        const auto mime = webfile::headMimeType(e.stored);
        rows.push_back({printableName(e.name), std::to_string(e.stored.size()),
                        std::to_string(e.offset),
                        mime ? printableName(*mime) : std::string("none")});
    }
    std::size_t nameWidth = 0, sizeWidth = 0, offsetWidth = 0;
    for (const Row &r : rows) {
        nameWidth = std::max(nameWidth, r.name.size());
        sizeWidth = std::max(sizeWidth, r.size.size());
        offsetWidth = std::max(offsetWidth, r.offset.size());
    }
    for (const Row &r : rows) {
        out << std::left << std::setw(static_cast<int>(nameWidth)) << r.name << "  " << std::right
            << std::setw(static_cast<int>(sizeWidth)) << r.size << "  "
            << std::setw(static_cast<int>(offsetWidth)) << r.offset << "  " << r.mime << '\n';
    }
    const std::size_t count = file.parsed.entries.size();
    out << text((count == 1 ? CliText::tr("%1 entry, %2 bytes: the directory matches the stored "
                                          "bytes")
                            : CliText::tr("%1 entries, %2 bytes: the directory matches the stored "
                                          "bytes"))
                    .arg(count)
                    .arg(file.bytes.size()))
        << '\n';
}

ExtractResult extractWebFile(const webfile::ParseResult &parsed, const fs::path &folder,
                             bool overwrite) {
    ExtractResult result;
    std::set<std::string_view> seen;
    for (std::size_t i = 0; i < parsed.entries.size(); ++i) {
        const std::string_view name = parsed.entries[i].name;
        const QString number = QString::number(i + 1), shown = fromStd(printableName(name));
        if (const std::string reason = unsafeNameReason(name); !reason.empty()) {
            result.error = text(CliText::tr("entry %1 (%2) cannot be written inside the folder: %3")
                                    .arg(number, shown, fromStd(reason)));
            return result;
        }
        if (!seen.insert(name).second) {
            result.error = text(CliText::tr("entry %1 (%2) repeats the name of an earlier entry")
                                    .arg(number, shown));
            return result;
        }
    }

    std::error_code ec;
    const fs::file_status status = fs::status(folder, ec);
    if (fs::exists(status) && !fs::is_directory(status)) {
        result.error =
            text(CliText::tr("%1 exists and is not a folder").arg(fromStd(folder.string())));
        return result;
    }
    if (!fs::exists(status) && !fs::create_directories(folder, ec) && ec) {
        result.error = text(CliText::tr("cannot create %1: %2")
                                .arg(fromStd(folder.string()), fromStd(ec.message())));
        return result;
    }
    if (!overwrite) {
        for (const webfile::ParsedEntry &e : parsed.entries) {
            const fs::path target = folder / std::string(e.name);
            if (fs::exists(fs::symlink_status(target, ec))) {
                result.error = text(
                    CliText::tr("%1 already exists; nothing written (--overwrite replaces files)")
                        .arg(fromStd(target.string())));
                return result;
            }
        }
    }

    for (const webfile::ParsedEntry &e : parsed.entries) {
        const std::string name(e.name);
        if (std::string error = writeFileAtomically(folder, name, entryBody(e.stored));
            !error.empty()) {
            result.error = std::move(error);
            return result;
        }
        result.written.push_back(name);
    }
    return result;
}

int webfileListCommand(const CommandCall &call) {
    const Console console = call.console;
    CommandParser command(call, CliText::tr("Lists each entry of a web file with its stored size, "
                                            "offset and MIME type,\nthen checks that the directory "
                                            "matches the stored bytes."));
    command.addArgument(QStringLiteral("FILE"), CliText::tr("The web file."));
    if (auto status = command.parse(1, 1)) {
        return *status;
    }
    const auto file = loadWebFile(text(command.positional().at(0)));
    if (!file->ok()) {
        return reportFailure(console, file->error);
    }
    printListing(*file, console.out);
    return Success;
}

int webfileExtractCommand(const CommandCall &call) {
    const Console console = call.console;
    CommandParser command(call, CliText::tr("Writes every entry of a web file back as a file in "
                                            "FOLDER, without its reply head."));
    command.addArgument(QStringLiteral("FILE"), CliText::tr("The web file."));
    command.addArgument(QStringLiteral("FOLDER"),
                        CliText::tr("Where the files go; created when missing."));
    command.parser().addOption(
        {QStringLiteral("overwrite"), CliText::tr("Replace files that are already in FOLDER.")});
    if (auto status = command.parse(2, 2)) {
        return *status;
    }
    const auto file = loadWebFile(text(command.positional().at(0)));
    if (!file->ok()) {
        return reportFailure(console, file->error);
    }
    const QString folder = command.positional().at(1);
    const ExtractResult result = extractWebFile(
        file->parsed, text(folder), command.parser().isSet(QStringLiteral("overwrite")));
    for (const std::string &name : result.written) {
        console.out << printableName(name) << '\n';
    }
    if (!result.ok()) {
        return reportFailure(console, result.error);
    }
    console.out << text((result.written.size() == 1 ? CliText::tr("%1 file written to %2")
                                                    : CliText::tr("%1 files written to %2"))
                            .arg(result.written.size())
                            .arg(folder))
                << '\n';
    return Success;
}

int webfileServeCommand(const CommandCall &call) {
    const Console console = call.console;
    CommandParser command(
        call, CliText::tr("Serves a web file on 127.0.0.1 as a device would, for a preview in a "
                          "browser.\nRuns until it is stopped (Ctrl+C)."));
    command.addArgument(QStringLiteral("FILE"), CliText::tr("The web file."));
    command.parser().addOption(
        {QStringLiteral("port"),
         CliText::tr("The port to listen on (default 8080; 0 picks a free one)."),
         QStringLiteral("N"), QStringLiteral("8080")});
    if (auto status = command.parse(1, 1)) {
        return *status;
    }
    bool numeric = false;
    const uint port = command.parser().value(QStringLiteral("port")).toUInt(&numeric);
    if (!numeric || port > 65535) {
        return command.usageError(CliText::tr("The port must be a number from 0 to 65535."));
    }
    const QString path = command.positional().at(0);
    auto file = loadWebFile(text(path));
    if (!file->ok()) {
        return reportFailure(console, file->error);
    }
    PreviewServer server(std::move(file));
    if (!server.listen(static_cast<quint16>(port))) {
        return reportFailure(console, text(CliText::tr("cannot listen on 127.0.0.1:%1: %2")
                                               .arg(QString::number(port), server.errorString())));
    }
    server.setRequestLog([console](const std::string &line) { console.out << line << std::endl; });
    console.out << text(CliText::tr("Serving %1 on http://127.0.0.1:%2/ (Ctrl+C stops)")
                            .arg(path)
                            .arg(server.port()))
                << std::endl;
    QEventLoop loop;
    const InterruptWatch watch([&loop] { loop.quit(); });
    loop.exec();
    return Success;
}

} // namespace cli
