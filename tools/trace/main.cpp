// tracediff BOARD MODEL: two boundary records side by side.
#include "TraceDiffCommand.h"

#include <iostream>

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const int status = trace::runTraceDiff(arguments, std::cout, std::cerr);
    std::cout.flush();
    return status;
}
