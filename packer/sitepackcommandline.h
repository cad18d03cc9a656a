// sitepack's command line: "/d <folder>" and "/o <output file>" in up to two pairs.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace sitepack {

struct CommandLine {
    std::string folder = ".";
    std::string output = "pelmo.pmf";
};

// The folder and output name for the words after the program name, or nothing when the words
// call for the usage text: a count other than 0, 2 or 4, or an option word other than the
// exact "/o" and "/d". A second pair overrides only what it names.
std::optional<CommandLine> parseCommandLine(const std::vector<std::string> &words);

} // namespace sitepack
