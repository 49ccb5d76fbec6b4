// What the commands that build and track runs share with each other and with
// the client: the thread limits of the configuration and the simulation
// settings every run starts from.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "app/config.hpp"
#include "app/run_request.hpp"
#include "app/settings.hpp"
#include "platform/files.hpp"
#include "platform/process.hpp"
#include "tool/tool.hpp"

bool optionNumber(const ToolArgs& args, size_t& i, long long lo, long long hi, long long& value) {
    const std::string& option = args[i];
    const std::string& text = args[++i];
    char* end = nullptr;
    errno = 0;
    value = std::strtoll(text.c_str(), &end, 10);
    if (!text.empty() && *end == '\0' && errno == 0 && value >= lo && value <= hi) return true;
    std::fprintf(stderr, "%s takes a whole number from %lld to %lld\n", option.c_str(), lo, hi);
    return false;
}

RunSettings toolRunSettings(int threads) {
    if (fileExists(kConfigFile)) configRead(kConfigFile);
    RunSettings run;
    int configured = settings.threadCount > 0 ? settings.threadCount : logicalProcessorCount();
    run.maxThreads = threads > 0 ? threads : std::max(1, configured);
    run.particlesPerThread = std::max(1, settings.particlesPerExtraThread);
    return run;
}

SetupRequest runRequest(const std::string& latticeName, std::string latticeText) {
    SetupRequest request = clientRunRequest(latticeName, "");
    request.latticeText = std::move(latticeText);
    return request;
}
