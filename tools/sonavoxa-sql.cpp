// sonavoxa-sql: the engine shell (see EngineShell.h).
#include <iostream>
#include <string>
#include <vector>

#include "EngineShell.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    tools::EngineShell shell(std::cout, std::cerr);
    return shell.Run(args, std::cin);
}
