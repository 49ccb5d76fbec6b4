#include "store/latticedir.hpp"

#include <limits>

#include "common/text.hpp"
#include "platform/clock.hpp"
#include "platform/files.hpp"

namespace {

bool presenceListed = false;
std::vector<std::string> presenceList;

}  // namespace

std::string latticeFilePath(std::string_view name) {
    return std::string(kLatticeFolder) + "/" + std::string(name) + ".txt";
}

std::vector<std::string> listlattices(const std::string& folder) {
    std::vector<std::string> names;
    for (const std::string& file : listFolder(folder, true)) {
        if (file.size() < 4 || file[0] == '_') continue;
        if (!equalNoCase(std::string_view(file).substr(file.size() - 4), ".txt")) continue;
        names.push_back(file.substr(0, file.size() - 4));
    }
    return names;
}

std::vector<std::string> preferredlattices(std::string_view setting) {
    std::vector<std::string> all = listlattices(kLatticeFolder);
    std::vector<std::string> wanted;
    for (size_t start = 0; start <= setting.size();) {
        size_t comma = setting.find(',', start);
        if (comma == std::string_view::npos) comma = setting.size();
        wanted.push_back(trimBlanks(setting.substr(start, comma - start)));
        start = comma + 1;
    }
    std::vector<std::string> chosen = all;
    for (size_t i = 0; i < chosen.size();) {
        bool named = false;
        for (const std::string& w : wanted) named = named || equalNoCase(chosen[i], w);
        if (named) {
            i++;
            continue;
        }
        // The last entry moves into the hole and is looked at next.
        if (i + 1 < chosen.size()) chosen[i] = std::move(chosen.back());
        chosen.pop_back();
    }
    return chosen.empty() ? all : chosen;
}

bool latticepresent(const std::optional<std::string>& name) {
    if (!name) return false;
    if (!presenceListed) {
        presenceList = listlattices(kLatticeFolder);
        presenceListed = true;
    }
    for (const std::string& listed : presenceList) {
        if (equalNoCase(listed, *name)) return true;
    }
    return false;
}

void forgetlatticelist() {
    presenceListed = false;
    presenceList.clear();
}

float fileagehours(const std::string& path) {
    int64_t written = fileModTime(path);
    if (written < 0) return std::numeric_limits<float>::infinity();
    return static_cast<float>(static_cast<double>(wallClockSeconds() - written) / 3600.0);
}
