// The pictures of pelto-tool: it writes the data as CSV and leaves the
// drawing to scripts/pelto-plot (matplotlib), found beside an installed
// pelto-tool or in the source tree it was built from.
#include <cstdio>
#include <cstdlib>

#include "platform/child.hpp"
#include "platform/files.hpp"
#include "platform/process.hpp"
#include "tool/tool.hpp"

namespace {

constexpr const char* kScriptName = "pelto-plot";

std::string findPlotScript() {
    // An explicit choice first, then an installed copy beside the program,
    // then the tree this pelto-tool was built from.
    if (const char* chosen = std::getenv("PELTO_PLOT"); chosen && *chosen) return chosen;
    std::vector<std::string> candidates;
    std::string exe = executableFolder();
    if (!exe.empty()) {
        candidates.push_back(exe + "/" + kScriptName);
        candidates.push_back(exe + "/../share/pelto/" + kScriptName);
    }
#ifdef PELTO_SCRIPTS_DIR
    candidates.push_back(std::string(PELTO_SCRIPTS_DIR) + "/" + kScriptName);
#endif
    for (const std::string& path : candidates) {
        if (isRegularFile(path)) return path;
    }
    return "";
}

}  // namespace

bool checkOutputName(const std::string& path, const char* what) {
    if (isSafeRelativePath(path)) return true;
    std::fprintf(stderr, "Refused %s file name '%s': give a path inside this folder\n", what,
                 path.c_str());
    return false;
}

std::string csvBeside(const std::string& picture) {
    std::string base = picture;
    if (base.size() > 4 && base.compare(base.size() - 4, 4, ".png") == 0) {
        base.resize(base.size() - 4);
    }
    return base + ".csv";
}

bool writeToolFile(const std::string& path, const std::string& contents) {
    if (writeFileAtomic(path, contents)) return true;
    std::fprintf(stderr, "Cannot write '%s'\n", path.c_str());
    return false;
}

bool drawPlot(const char* kind, const std::string& csv, const std::string& picture) {
    std::string script = findPlotScript();
    if (script.empty()) {
        std::fprintf(stderr,
                     "Cannot draw '%s': scripts/%s was not found beside pelto-tool or in its "
                     "source tree (set PELTO_PLOT to its path); the data are in '%s'\n",
                     picture.c_str(), kScriptName, csv.c_str());
        return false;
    }
    int status = runProgram({"python3", script, kind, csv, picture});
    if (status == 0) {
        std::printf("plot written to '%s' (data in '%s')\n", picture.c_str(), csv.c_str());
        return true;
    }
    if (status < 0) {
        std::fprintf(stderr,
                     "Cannot draw '%s': python3 could not be started (install python3 and "
                     "python3-matplotlib); the data are in '%s'\n",
                     picture.c_str(), csv.c_str());
    } else {
        std::fprintf(stderr, "No picture drawn for '%s'; the data are in '%s'\n", picture.c_str(),
                     csv.c_str());
    }
    return false;
}

std::string progressCsv(const std::vector<ProgressPoint>& points) {
    std::string out = "run,trial_type,score,best\n";
    char line[160];
    for (const ProgressPoint& p : points) {
        std::snprintf(line, sizeof line, ",%.9g,%.9g\n", p.score, p.best);
        out += std::to_string(p.run) + "," + p.trialType + line;
    }
    return out;
}

bool writeProgressPlot(const std::vector<ProgressPoint>& points, const std::string& picture) {
    std::string csv = csvBeside(picture);
    return writeToolFile(csv, progressCsv(points)) && drawPlot("progress", csv, picture);
}
