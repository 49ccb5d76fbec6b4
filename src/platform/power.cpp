#include "platform/power.hpp"

#include <filesystem>
#include <fstream>
#include <utility>

namespace {

// The first line of a small attribute file of the supply, without its line end.
std::string attribute(const std::filesystem::path& supply, const char* name) {
    std::ifstream in(supply / name);
    std::string line;
    if (in) std::getline(in, line);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' ')) {
        line.pop_back();
    }
    return line;
}

}  // namespace

bool onMainsPower(const std::string& supplyFolder) {
    std::error_code error;
    std::filesystem::directory_iterator it(supplyFolder, error);
    if (error) return true;
    bool adapters = false, adapterOnline = false, discharging = false;
    for (const std::filesystem::directory_entry& entry : it) {
        const std::filesystem::path& supply = entry.path();
        std::string type = attribute(supply, "type");
        if (type == "Mains" || type == "USB") {
            adapters = true;
            if (attribute(supply, "online") == "1") adapterOnline = true;
        } else if (type == "Battery" && attribute(supply, "status") == "Discharging") {
            discharging = true;
        }
    }
    return adapters ? adapterOnline : !discharging;
}

MainsPowerWatch::MainsPowerWatch(Clock clock, std::string supplyFolder, double interval)
    : clock_(clock), folder_(std::move(supplyFolder)), interval_(interval) {}

bool MainsPowerWatch::onMains() {
    double now = clock_();
    // A clock that went backwards (a test, a restored state) asks again
    // rather than trusting an answer from the future.
    if (!asked_ || !(now - askedAt_ < interval_) || now < askedAt_) {
        mains_ = onMainsPower(folder_);
        askedAt_ = now;
        asked_ = true;
    }
    return mains_;
}
