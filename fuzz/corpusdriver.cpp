// Runs a fuzz target once over the files it is given, or the files of the folders it is given,
// so that every test build replays the corpora without libFuzzer.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size);

namespace fs = std::filesystem;

int main(int argc, char **argv) {
    std::vector<fs::path> inputs;
    for (int i = 1; i < argc; ++i) {
        const fs::path path = argv[i];
        if (fs::is_directory(path)) {
            for (const fs::directory_entry &entry : fs::directory_iterator(path))
                if (entry.is_regular_file())
                    inputs.push_back(entry.path());
        } else {
            inputs.push_back(path);
        }
    }
    // A corpus that went missing must not pass as one that holds no fault.
    if (inputs.empty()) {
        std::cerr << "no inputs\n";
        return 1;
    }
    std::sort(inputs.begin(), inputs.end());
    for (const fs::path &path : inputs) {
        std::ifstream file(path, std::ios::binary);
        if (!file) {
            std::cerr << path.string() << ": cannot be read\n";
            return 1;
        }
        // An exact-size copy, so that a read one byte past the input is caught.
        const std::vector<char> bytes{std::istreambuf_iterator<char>(file), {}};
        const auto data = std::make_unique<std::uint8_t[]>(bytes.size());
        std::copy(bytes.begin(), bytes.end(), data.get());
        std::cerr << path.string() << " (" << bytes.size() << " bytes)\n";
        LLVMFuzzerTestOneInput(data.get(), bytes.size());
    }
    std::cerr << inputs.size() << " inputs passed\n";
    return 0;
}
