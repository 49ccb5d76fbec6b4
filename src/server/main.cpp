// pelto-server: the project side of the network.
#include <cstdio>
#include <string>
#include <vector>

#include "server/options.hpp"
#include "server/server_run.hpp"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string error;
    std::optional<ServerOptions> options = parseServerOptions(args, error);
    if (!options) {
        if (!error.empty()) std::fprintf(stderr, "pelto-server: %s\n", error.c_str());
        std::fputs(kServerUsage, error.empty() ? stdout : stderr);
        return error.empty() ? 0 : 2;
    }
    return runServer(*options);
}
