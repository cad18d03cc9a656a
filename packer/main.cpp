#include "packer/sitepack.h"

#include <iostream>

int main(int argc, char **argv) {
    const std::vector<std::string> words(argv + 1, argv + argc);
    const int status = sitepack::run(words, ".", std::cout);
    std::cout.flush();
    return status;
}
