#include "server/project.hpp"

#include <algorithm>
#include <fstream>
#include <sstream>

#include "common/text.hpp"
#include "platform/files.hpp"
#include "store/filecache.hpp"
#include "store/latticedir.hpp"

std::vector<std::string> projectLattices() {
    return listlattices(kLatticeFolder);
}

std::optional<std::string> servedLattice(std::string_view name) {
    if (name.empty() || !isSafeFileName(std::string(name))) return std::nullopt;
    for (const std::string& lattice : projectLattices()) {
        if (equalNoCase(lattice, name)) return lattice;
    }
    return std::nullopt;
}

std::string latticeFilesSignature() {
    std::string signature;
    for (const char* folder : {kLatticeFolder, kDataFolder}) {
        std::vector<std::string> names = listFolder(folder, true);
        std::sort(names.begin(), names.end());
        for (const std::string& name : names) {
            std::string path = std::string(folder) + "/" + name;
            signature +=
                format("%s %lld %lld\n", path.c_str(), static_cast<long long>(fileSize(path)),
                       static_cast<long long>(fileModTimeNs(path)));
        }
    }
    return signature;
}

void refreshLatticeDigests() {
    static std::string known;
    std::string now = latticeFilesSignature();
    if (now == known && digestCaching) return;
    // Turning the cache off empties it at the next digest; it is then filled
    // again for as long as the files stay the same.
    forgetDigestCaches();
    forgetlatticelist();
    digestCaching = true;
    known = now;
}

std::string signalText() {
    std::ifstream in(kSignalFile, std::ios::binary);
    if (!in) return "";
    std::ostringstream buffer;
    buffer << in.rdbuf();
    std::string text = buffer.str().substr(0, 4000);
    std::string out;
    for (char c : text) {
        if (c != '\r') out += c;
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
    return out;
}

std::string signalBlock() {
    return "<pre id='signal'>" + signalText() + "</pre>";
}

std::string uploaderOf(std::string_view uploadName) {
    size_t dot = uploadName.rfind('.');
    std::string_view base = uploadName.substr(0, dot);
    size_t dashes = 0, pos = 0;
    while (dashes < 3 && pos < base.size()) {
        if (base[pos] == '-') dashes++;
        pos++;
    }
    if (dashes < 3 || pos >= base.size()) return "?";
    return std::string(base.substr(pos));
}

bool isAcceptableUploadName(std::string_view name) {
    if (name.empty() || name.size() > 200 || !isSafeFileName(std::string(name))) return false;
    for (char c : name) {
        auto u = static_cast<unsigned char>(c);
        if (u < 33 || u > 126) return false;
    }
    std::string lower = lowerCopy(name);
    return lower.size() > 4 && (lower.ends_with(".txt") || lower.ends_with(".bin"));
}
