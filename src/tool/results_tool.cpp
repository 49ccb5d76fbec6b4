// pelto-tool results: check every record of a results file, convert a
// results file between its text and binary forms, or draw a lattice's
// scores run by run.
#include <algorithm>
#include <cstdio>

#include "platform/files.hpp"
#include "results/binary_results.hpp"
#include "results/convert.hpp"
#include "results/optimiser.hpp"
#include "results/record_check.hpp"
#include "results/text_results.hpp"
#include "store/filecache.hpp"
#include "tool/tool.hpp"

const char* const kResultsToolUsage =
    "  pelto-tool results check FILE      check every record of a results file\n"
    "  pelto-tool results convert IN OUT  convert between text and binary (.bin) forms\n"
    "  pelto-tool results plot FILE --lattice NAME OUT.png [--csv OUT.csv]\n"
    "                                     the lattice's scores run by run and the best so far\n";

namespace {

struct CheckTally {
    int records = 0, accepted = 0, rejected = 0, unchecked = 0;
};

void printCheck(CheckTally& tally, const std::string& where, const RecordCheck& check) {
    tally.records++;
    switch (check.verdict) {
        case CheckVerdict::Accepted:
        case CheckVerdict::TestRecord:
            tally.accepted++;
            break;
        case CheckVerdict::OldVersion:
        case CheckVerdict::BadChecksum:
            tally.rejected++;
            break;
        case CheckVerdict::LatticeMissing:
            tally.unchecked++;
            break;
    }
    std::printf("%s: %s\n", where.c_str(), describeCheck(check).c_str());
}

int check(const std::string& path) {
    if (!checkPlainFile(path)) return kToolError;
    CheckTally tally;
    if (isBinaryResultsPath(path)) {
        BinaryLoadStatus status = BinaryLoadStatus::Ok;
        ResultsList results = loadBinaryResults(path, kProgramFormat, &status);
        if (status != BinaryLoadStatus::Ok) {
            std::fprintf(stderr, "\n'%s' is not a binary results file\n", path.c_str());
            return kToolError;
        }
        // The lattice and data files are digested once for the whole file.
        digestCaching = true;
        for (uint32_t i = 0; i < results.count(); i++) {
            printCheck(tally, "record " + std::to_string(i + 1),
                       checkRecord(results[i].genomeLine, results[i].scoreLine));
        }
        digestCaching = false;
    } else {
        bool read = checkResultsFile(path, [&](int64_t line, const RecordCheck& verdict) {
            std::string where = "record " + std::to_string(tally.records + 1) + " (line " +
                                std::to_string(line - 1) + ")";
            printCheck(tally, where, verdict);
        });
        if (!read) {
            std::fprintf(stderr, "Cannot open '%s'\n", path.c_str());
            return kToolError;
        }
    }
    std::printf("%d records: %d accepted, %d rejected, %d not checked (lattice not present)\n",
                tally.records, tally.accepted, tally.rejected, tally.unchecked);
    return tally.rejected > 0 ? kToolRejected : kToolOk;
}

// The records of one lattice in file order, as an optimisation's progress:
// the trial type from "#gen", the best so far over the records before.
std::vector<ProgressPoint> latticeProgress(const ResultsList& results, const std::string& lattice) {
    std::vector<ProgressPoint> points;
    for (uint32_t i = 0; i < results.count(); i++) {
        const ResultRecord& record = results[i];
        if (!latticeMatches(record.scoreLine, lattice)) continue;
        Genome genome = genomeFromText(record.genomeLine, true);
        int mode = genomeHas(genome, "#gen") ? genomeGet(genome, "#gen") : kModeByRatios;
        ProgressPoint p;
        p.run = static_cast<int>(points.size()) + 1;
        p.trialType = trialModeName(mode);
        p.score = record.score;
        p.best = points.empty() ? p.score : std::max(points.back().best, p.score);
        points.push_back(p);
    }
    return points;
}

int plot(const ToolArgs& args) {
    std::string file, lattice, picture, csv;
    for (size_t i = 1; i < args.size(); i++) {
        const std::string& a = args[i];
        bool hasValue = i + 1 < args.size();
        if (a == "--lattice" && hasValue) {
            lattice = args[++i];
        } else if (a == "--csv" && hasValue) {
            csv = args[++i];
        } else if (!a.empty() && a[0] != '-' && (file.empty() || picture.empty())) {
            (file.empty() ? file : picture) = a;
        } else {
            std::fprintf(stderr, "Unknown option '%s'\n", a.c_str());
            return kToolError;
        }
    }
    if (file.empty() || picture.empty() || lattice.empty()) {
        std::fputs(file.empty() || picture.empty() ? "Give a results file and a picture name\n"
                                                   : "No --lattice given\n",
                   stderr);
        return kToolError;
    }
    if (csv.empty()) csv = csvBeside(picture);
    if (!checkOutputName(picture, "plot") || !checkOutputName(csv, "CSV")) return kToolError;
    if (!checkPlainFile(file)) return kToolError;
    std::vector<ProgressPoint> points =
        latticeProgress(loadResultsAny(file, kProgramFormat), lattice);
    if (points.empty()) {
        std::fprintf(stderr, "No results of lattice '%s' in '%s'\n", lattice.c_str(), file.c_str());
        return kToolError;
    }
    if (!writeToolFile(csv, progressCsv(points))) return kToolError;
    return drawPlot("progress", csv, picture) ? kToolOk : kToolError;
}

}  // namespace

int runResultsTool(const ToolArgs& args) {
    if (args.size() == 2 && args[0] == "check") return check(args[1]);
    if (args.size() == 3 && args[0] == "convert") {
        bool ok = convertResults(args[1], isBinaryResultsPath(args[1]), args[2],
                                 isBinaryResultsPath(args[2]));
        std::fputs("\n", stderr);
        return ok ? kToolOk : kToolError;
    }
    if (!args.empty() && args[0] == "plot") return plot(args);
    std::fputs("Usage:\n", stderr);
    std::fputs(kResultsToolUsage, stderr);
    return kToolError;
}
