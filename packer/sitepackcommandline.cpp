#include "packer/sitepackcommandline.h"

namespace sitepack {

std::optional<CommandLine> parseCommandLine(const std::vector<std::string> &words) {
    if (words.size() != 0 && words.size() != 2 && words.size() != 4) {
        return std::nullopt;
    }
    CommandLine line;
    for (std::size_t i = 0; i < words.size(); i += 2) {
        if (words[i] == "/o") {
            line.output = words[i + 1];
        } else if (words[i] == "/d") {
            line.folder = words[i + 1];
        } else {
            return std::nullopt;
        }
    }
    return line;
}

} // namespace sitepack
