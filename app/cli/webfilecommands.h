// Looking into a web file before it goes to a device: the webfile commands, and reading a file
// whole, listing its entries, writing them back as files.
#pragma once

#include "app/cli/commandparser.h"
#include "packer/webfile.h"

#include <cstddef>
#include <filesystem>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace cli {

int webfileListCommand(const CommandCall &call);
int webfileExtractCommand(const CommandCall &call);
int webfileServeCommand(const CommandCall &call);

// Magic, 256 records with the longest names, the end byte and 256 full entries: no consistent
// web file is longer, so a longer file is refused before it is read into memory.
inline constexpr std::size_t kMaxWebFileSize =
    webfile::kMagic.size() + webfile::kMaxEntries * (7 + webfile::kMaxNameLength) + 1 +
    webfile::kMaxEntries * webfile::kMaxStoredSize;

struct LoadedWebFile {
    std::string bytes;
    webfile::ParseResult parsed; // views into `bytes`: keep the object in place
    std::string error;           // empty when the file was read and is consistent
    bool ok() const { return error.empty(); }
};

// Reads and checks a web file. The result is heap-allocated so that the views stay valid.
std::unique_ptr<LoadedWebFile> loadWebFile(const std::filesystem::path &path);

// A name as it may be shown on a terminal: control bytes, and C1 controls written in UTF-8,
// become \xNN.
std::string printableName(std::string_view name);

// The stored bytes without their reply head, when they have one.
std::string_view entryBody(std::string_view stored);

// Why a name may not be written as a file inside a folder, or an empty text when it may.
std::string unsafeNameReason(std::string_view name);

// Name, stored size, offset and MIME type of every entry in aligned columns, then the verdict.
void printListing(const LoadedWebFile &file, std::ostream &out);

struct ExtractResult {
    std::vector<std::string> written; // names, in directory order
    std::string error;                // empty on success
    bool ok() const { return error.empty(); }
};

// Writes every entry's body into `folder` (created when missing). Checks every name first and
// writes nothing when one would leave the folder, repeats an earlier name, or (unless
// `overwrite`) names a file that is already there. Each file is written under a temporary name
// and renamed into place, so an existing file is replaced whole or not at all and a link in its
// place is replaced, not followed.
ExtractResult extractWebFile(const webfile::ParseResult &parsed,
                             const std::filesystem::path &folder, bool overwrite);

} // namespace cli
