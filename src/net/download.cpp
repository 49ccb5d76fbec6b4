#include "net/download.hpp"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <thread>

#include "common/text.hpp"
#include "net/text_lines.hpp"
#include "platform/clock.hpp"
#include "platform/files.hpp"
#include "platform/log_file.hpp"
#include "store/latticedir.hpp"

namespace {

constexpr size_t kMaxServerName = 200;
constexpr int64_t kMaxLatticeListBytes = 4 << 20;

bool endsWithNoCase(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           equalNoCase(std::string_view(text).substr(text.size() - tail.size()), tail);
}

struct LatticeEntry {
    std::string name;
    enum Action { Keep, Download, Delete } action;
};

// A lattice the project no longer lists may be an author's own work: it is
// moved out of the way of the runs, never deleted. A file retired earlier
// under the same name is kept too; the newer one gets a numbered name.
void retireLattice(const std::string& folder, const std::string& name) {
    std::string path = folder + "/" + name + ".txt";
    std::string retired = folder + "/" + kRetiredFolder;
    if (!makeDirectory(retired)) {
        reportf("Could not create '%s'; lattice '%s' left in place", retired.c_str(), name.c_str());
        return;
    }
    std::string target = retired + "/" + name + ".txt";
    for (int n = 1; fileExists(target) && n < 1000; n++) {
        target = retired + "/" + name + "." + std::to_string(n) + ".txt";
    }
    if (fileExists(target) || !renameFile(path, target)) {
        reportf("Could not move lattice '%s' to '%s'; left in place", name.c_str(),
                retired.c_str());
        return;
    }
    reportf("Lattice '%s' is not on the project's list; moved to '%s'", name.c_str(),
            target.c_str());
}

}  // namespace

std::string urlEncodeName(const std::string& name) {
    std::string out;
    for (unsigned char c : name) {
        bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                     c == '-' || c == '.' || c == '_' || c == '~';
        out += plain ? std::string(1, static_cast<char>(c)) : format("%%%02X", c);
    }
    return out;
}

bool isPlainServerName(const std::string& name) {
    return name.size() <= kMaxServerName && isSafeFileName(name);
}

bool downloadIfStale(const std::string& checkPath, double hours, const std::string& url,
                     const std::optional<std::string>& target, const NetSettings& net) {
    bool present = fileExists(checkPath);
    if (present && hours >= fileagehours(checkPath)) return false;
    if (!present) {
        reportf("%s not present, attempting download...", checkPath.c_str());
    } else if (hours < 0) {
        reportf("Attempting to download %s...", checkPath.c_str());
    } else {
        reportf("%s older than %d hours, attempting download...", checkPath.c_str(),
                static_cast<int>(hours));
    }
    std::string path = target.value_or(checkPath);

    std::atomic<bool> cancel{false};
    std::atomic<bool> done{false};
    bool fetched = false;
    HttpOptions options = net.http;
    options.cancel = &cancel;
    std::thread worker([&]() {
        fetched = httpGetToFile(url, path, options);
        done.store(true);
    });
    double start = monotonicSeconds();
    double deadline = start + net.downloadDeadline;
    double nextNotice = start + 5;
    while (!done.load()) {
        double now = monotonicSeconds();
        if (now >= deadline) break;
        if (now > nextNotice) {
            reportf("Timeout in %d seconds", static_cast<int>(std::floor(deadline - now + 0.5)));
            nextNotice += 5;
        }
        // Short naps: most downloads take well under a second.
        sleepMs(static_cast<uint32_t>(std::min(25.0, (deadline - now) * 1000)) + 1);
    }
    if (!done.load()) {
        report("Terminating download.");
        // The transfer sees the flag within a quarter second, closes its
        // connection and writes nothing; the old file stays as it was.
        cancel.store(true);
    }
    worker.join();
    if (fetched) {
        logLine(format("Downloaded %s from %s", path.c_str(), url.c_str()));
    } else {
        reportf("Download from %s failed, will try later.", url.c_str());
    }
    return fileExists(path);
}

void updateLattices(double hours, bool keepUnlisted, const std::string& folder,
                    const NetSettings& net) {
    if (!downloadIfStale(kLatticeListFile, hours, webUrl(net, kLatticeListPath), std::nullopt,
                         net)) {
        return;
    }
    forgetlatticelist();
    std::vector<LatticeEntry> entries;
    for (const std::string& file : listFolder(folder, true)) {
        if (file.empty() || file[0] == '_' || file.size() < 4 || !endsWithNoCase(file, ".txt")) {
            continue;
        }
        entries.push_back({file.substr(0, file.size() - 4),
                           keepUnlisted ? LatticeEntry::Keep : LatticeEntry::Delete});
    }
    std::string list;
    if (readWholeFile(kLatticeListFile, list, kMaxLatticeListBytes) != ReadStatus::Ok) return;
    for (const std::string& name : textLines(list)) {
        if (name.empty()) continue;
        bool found = false;
        for (size_t i = entries.size(); i-- > 0;) {
            if (equalNoCase(entries[i].name, name)) {
                entries[i].action = LatticeEntry::Keep;
                found = true;
                break;
            }
        }
        if (found) continue;
        if (!isPlainServerName(name) || name[0] == '_') {
            reportf(
                "[WARNING] The lattice list names '%s', which is not a plain file name; "
                "skipped",
                name.c_str());
            continue;
        }
        entries.push_back({name, LatticeEntry::Download});
    }
    bool anyKept = false;
    for (const LatticeEntry& e : entries) anyKept = anyKept || e.action == LatticeEntry::Keep;
    if (!anyKept) {
        // Not one local lattice is on the list: more likely a broken list
        // than a project that dropped every lattice.
        for (LatticeEntry& e : entries) {
            if (e.action == LatticeEntry::Delete) e.action = LatticeEntry::Keep;
        }
    }
    makeDirectory(folder);
    for (size_t i = entries.size(); i-- > 0;) {
        std::string path = folder + "/" + entries[i].name + ".txt";
        if (entries[i].action == LatticeEntry::Download) {
            downloadIfStale(
                path, -1, webUrl(net, "/pelto/lattices/" + urlEncodeName(entries[i].name) + ".txt"),
                std::nullopt, net);
        } else if (entries[i].action == LatticeEntry::Delete) {
            retireLattice(folder, entries[i].name);
        }
    }
    forgetlatticelist();
}

void runDownloadChecks(const NetSettings& net,
                       const std::function<std::vector<std::string>()>& lattices) {
    if (net.latticeUpdateHours > 0) {
        updateLattices(net.latticeUpdateHours, false, kLatticeFolder, net);
    }
    if (net.sampleDownloadHours > 0) {
        downloadSamples(net.sampleUrl, net.sampleDownloadHours, lattices(), net);
    }
}
