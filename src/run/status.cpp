#include "run/status.hpp"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <optional>

#include "common/text.hpp"
#include "platform/clock.hpp"
#include "platform/files.hpp"
#include "results/score_line.hpp"
#include "results/text_results.hpp"

namespace {

struct LatticeScores {
    std::string name;  // as first seen
    int64_t results = 0;
    double best = 0;
    std::optional<double> bestRechecked;
};

// Raw records, without the acceptance tests of the loader: the status only
// counts and compares, and must not stop to ask about a bad record.
template <typename Visit>
void eachRecord(const std::string& path, Visit visit) {
    RecordReader reader;
    if (!recordReaderOpen(reader, path)) return;
    std::string genomeLine, scoreLine;
    while (readRecordPair(reader, genomeLine, scoreLine)) visit(genomeLine, scoreLine);
}

std::string bestScores(const StatusFiles& files) {
    // Keyed by the lower-case name: lattice names are compared ignoring case.
    std::map<std::string, LatticeScores> lattices;
    eachRecord(files.database, [&](const std::string& genomeLine, const std::string& scoreLine) {
        std::optional<std::string> name = readLattice(scoreLine);
        if (!name) return;
        double score = std::strtod(scoreLine.c_str(), nullptr);
        LatticeScores& entry = lattices[lowerCopy(*name)];
        if (entry.results == 0) {
            entry.name = *name;
            entry.best = score;
        }
        entry.results++;
        entry.best = std::max(entry.best, score);
        if (genomeGet(genomeFromText(genomeLine, true), "#runs") >= files.requiredRuns) {
            entry.bestRechecked = std::max(entry.bestRechecked.value_or(score), score);
        }
    });
    if (lattices.empty()) return "Best scores: none yet (no results in '" + files.database + "')\n";
    std::string out = "Best scores (" + files.database + "):\n";
    for (const auto& [key, entry] : lattices) {
        std::string rechecked =
            entry.bestRechecked ? format("%.6g", *entry.bestRechecked) : std::string("none yet");
        out +=
            format("  %s: best %.6g of %lld results, best fully rechecked %s\n", entry.name.c_str(),
                   entry.best, static_cast<long long>(entry.results), rechecked.c_str());
    }
    return out;
}

std::string queueLines(const StatusFiles& files) {
    std::string out;
    for (const std::string& queue : files.queues) {
        eachRecord(queue, [&](const std::string& genomeLine, const std::string& scoreLine) {
            std::string lattice = readLattice(scoreLine).value_or("(no lattice)");
            if (containsNoCase(genomeLine, "#queued")) {
                std::vector<double> scores = readScoreList(scoreLine);
                std::string list;
                for (double s : scores) list += (list.empty() ? "" : ", ") + format("%.6g", s);
                out += format("  %s: %s, run %zu of %d so far (scores %s)\n", queue.c_str(),
                              lattice.c_str(), scores.size(), files.requiredRuns, list.c_str());
            } else if (isTestScoreLine(scoreLine)) {
                out +=
                    format("  %s: %s, a test record to run once\n", queue.c_str(), lattice.c_str());
            } else {
                out += format("  %s: %s, a record the client leaves alone\n", queue.c_str(),
                              lattice.c_str());
            }
        });
    }
    return out.empty() ? "Recheck queue: empty\n" : "Recheck queue:\n" + out;
}

std::string age(int64_t modTime) {
    int64_t seconds = std::max<int64_t>(0, wallClockSeconds() - modTime);
    if (seconds < 120) return format("%lld s ago", static_cast<long long>(seconds));
    if (seconds < 2 * 3600) return format("%lld min ago", static_cast<long long>(seconds / 60));
    return format("%lld h ago", static_cast<long long>(seconds / 3600));
}

}  // namespace

std::string statusText(const StatusFiles& files) {
    ClientState state = clientStateLoad(files.state);
    std::string out = format("Runs done: %lld\n", static_cast<long long>(state.runsDone));
    out += state.lastRun.empty() ? "Last run: none yet\n"
                                 : "Last run (" + state.lastRunTime + "): " + state.lastRun + "\n";
    out += bestScores(files);
    out += queueLines(files);

    int64_t size = fileSize(files.outgoing);
    if (size > 0) {
        long long waiting = 0;
        eachRecord(files.outgoing, [&](const std::string&, const std::string&) { waiting++; });
        out += format("Waiting to be sent: %lld results (%lld bytes) in '%s'\n", waiting,
                      static_cast<long long>(size), files.outgoing.c_str());
    } else {
        out += "Waiting to be sent: nothing\n";
    }
    out += state.lastSend.empty()
               ? "Last send: none yet\n"
               : "Last send (" + state.lastSendTime + "): " + state.lastSend + "\n";

    std::string saved;
    for (const std::string& path : files.autoSaves) {
        int64_t bytes = fileSize(path);
        if (bytes <= 0) continue;
        saved += format("Auto-saved run: '%s', %lld bytes, saved %s", path.c_str(),
                        static_cast<long long>(bytes), age(fileModTime(path)).c_str());
        if (!state.currentRun.empty()) saved += ", lattice " + state.currentRun;
        saved += "; the next start goes on with it\n";
    }
    out += saved.empty() ? "Auto-saved run: none\n" : saved;
    return out;
}
