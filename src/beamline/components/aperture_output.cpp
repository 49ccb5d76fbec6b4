// Output files of apertures: one CSV line per particle that crosses an
// aperture inside its energy window, per-thread files while several tracking
// threads run, and their merge after the run.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "beamline/components/aperture.hpp"
#include "beamline/species.hpp"
#include "beamline/tracking/tracking.hpp"
#include "common/report.hpp"
#include "common/text.hpp"
#include "platform/files.hpp"

namespace {

constexpr char kThreadMark[] = "$thread$";
constexpr char kHeader[] = "x,y(m),t(s),Vx,Vy,Vz(gamma m/s),species,wt\n";

// A name from a lattice, a downloaded lattice or the command line becomes a
// file in the program folder only when it is a plain file name that fits
// the run data and cannot be taken for a thread file.
bool acceptableOutputName(const std::string& name) {
    return isSafeFileName(name) && name.size() < static_cast<size_t>(kOutputNameBytes) &&
           name.find(kThreadMark) == std::string::npos;
}

void setName(ApertureData& d, const std::string& name) {
    std::memcpy(d.outputfile, name.c_str(), name.size() + 1);
}

// "output_2026-Dec-08_..." for a thread file "output_...csv$thread$12": the
// part before the mark and the thread number, or false.
bool threadFileParts(const std::string& name, std::string& base, long& thread) {
    size_t mark = name.find(kThreadMark);
    if (mark == std::string::npos || mark == 0) return false;
    base = name.substr(0, mark);
    thread = std::strtol(name.c_str() + mark + std::strlen(kThreadMark), nullptr, 10);
    return true;
}

}  // namespace

void mergeThreadOutputs() {
    struct ThreadFile {
        std::string name, base;
        long thread;
    };
    std::vector<ThreadFile> files;
    for (const std::string& name : listFolder(".", true)) {
        ThreadFile f{name, "", 0};
        if (threadFileParts(name, f.base, f.thread) && isRegularFile(name)) files.push_back(f);
    }
    // Thread 2 before thread 10, whatever the names' order.
    std::sort(files.begin(), files.end(), [](const ThreadFile& a, const ThreadFile& b) {
        return a.base != b.base ? a.base < b.base : a.thread < b.thread;
    });
    for (const ThreadFile& f : files) {
        std::string content;
        if (readWholeFile(f.name, content) != ReadStatus::Ok) continue;
        // A thread file is removed only once its lines are safely in the
        // merged file; one that cannot be appended waits for the next merge.
        if (appendToFile(f.base, content)) removeFile(f.name);
    }
}

std::string datedOutputName(const std::string& cellName) {
    static const char* const kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::time_t now = std::time(nullptr);
    std::tm local{};
    if (const std::tm* t = std::localtime(&now)) local = *t;  // main thread only: builds
    int month = local.tm_mon >= 0 && local.tm_mon < 12 ? local.tm_mon : 0;
    return format("output_%s_%04d-%s-%02d_%02d-%02d-%02d.csv", cellName.c_str(),
                  local.tm_year + 1900, kMonths[month], local.tm_mday, local.tm_hour, local.tm_min,
                  local.tm_sec);
}

void outputInit(ApertureData& d, const Cell& cell, bool dated) {
    d.outputfile[0] = '\0';
    const std::string* given = cellText(cell, "outputfile");
    if (!given && !dated) return;
    if (given && acceptableOutputName(*given)) {
        setName(d, *given);
        return;
    }
    std::string name = datedOutputName(cell.name);
    if (!acceptableOutputName(name)) {
        report("[WARNING] Aperture '" + cell.name + "' writes no output file: its name '" + name +
               "' is not a plain file name");
        return;
    }
    if (given) {
        report("[WARNING] Refused output file name '" + *given + "': writing to '" + name +
               "' instead");
    }
    setName(d, name);
}

void outputWrite(const ApertureData& d, const StepContext& context, Vec3 local, double t,
                 Vec3 uLocal, int32_t species, double weight) {
    std::string path = d.outputfile;
    if (context.configuredThreads > 1) {
        path += format("%s%d", kThreadMark, context.threadIndex);
    }
    bool fresh = !fileExists(path);
    // Opened and closed for each line, so that a run cut short leaves every
    // line written so far; a file that cannot be opened loses this line only.
    std::FILE* f = std::fopen(path.c_str(), "ab");
    if (!f) return;
    if (fresh) std::fputs(kHeader, f);
    const char* name = species >= 0 && species < kSpeciesCount ? speciesInfo(species).name : "";
    std::fprintf(f, "%.12lg,%.12lg,%.12lg,%.12lg,%.12lg,%.12lg,%s,%lg\n", local.x, local.y, t,
                 uLocal.x, uLocal.y, uLocal.z, name, weight);
    std::fclose(f);
}
