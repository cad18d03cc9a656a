// sitepack: packs one folder of web content into a web file.
#pragma once

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

namespace sitepack {

// Runs sitepack for the words after the program name. mimetype.ini and relative paths are
// taken from `currentFolder`; every message goes to `out`. Returns the exit status: 0 when
// the web file was written, 1 on every reported failure, which leaves no new file behind and
// an existing one untouched.
int run(const std::vector<std::string> &words, const std::filesystem::path &currentFolder,
        std::ostream &out);

} // namespace sitepack
