#include "server/incoming.hpp"

#include <vector>

#include "platform/files.hpp"
#include "server/project.hpp"

namespace {

void scanFolder(const std::string& folder, int depth, std::vector<std::string>& out) {
    for (const std::string& name : listFolder(folder, false)) {
        std::string path = folder + "/" + name;
        if (isDirectory(path)) {
            // Version folders hold the uploads; the client's connection test
            // goes to testfiles/ and is not a result.
            if (depth == 0 && name != "testfiles") scanFolder(path, depth + 1, out);
        } else if (depth == 1 && isRegularFile(path) && isAcceptableUploadName(name)) {
            // Only files inside a version folder: the FTP root also holds the
            // FTP server's own files and whatever else the operator keeps there.
            out.push_back(path);
        }
    }
}

}  // namespace

std::vector<std::string> completeIncomingFiles(IncomingWatch& watch, double now) {
    std::vector<std::string> present;
    scanFolder(kIncomingFolder, 0, present);
    std::map<std::string, IncomingFile> next;
    std::vector<std::string> complete;
    for (const std::string& path : present) {
        IncomingFile state{fileSize(path), fileModTimeNs(path), now};
        auto old = watch.seen.find(path);
        if (old != watch.seen.end() && old->second.size == state.size &&
            old->second.modTimeNs == state.modTimeNs) {
            state.stableSince = old->second.stableSince;
        }
        if (now - state.stableSince >= watch.settleSeconds && state.size > 0) {
            complete.push_back(path);
        } else {
            next[path] = state;
        }
    }
    watch.seen = std::move(next);
    return complete;
}

void publishFtpSignal() {
    makeDirectory(kIncomingFolder);
    std::string text = signalText() + "\n";
    std::string path = std::string(kIncomingFolder) + "/signal.dat";
    std::string old;
    // Rewritten only when it changed, so the FTP root is not touched every scan.
    if (fileSize(path) == static_cast<int64_t>(text.size())) {
        std::FILE* f = std::fopen(path.c_str(), "rb");
        if (f) {
            old.resize(text.size());
            old.resize(std::fread(old.data(), 1, old.size(), f));
            std::fclose(f);
        }
    }
    if (old != text) writeFileAtomic(path, text);
}
