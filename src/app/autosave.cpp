#include "app/autosave.hpp"

#include "app/autosave_file.hpp"
#include "common/report.hpp"
#include "common/text.hpp"
#include "platform/files.hpp"

bool autoSaveTick(AutoSave& save, const Simulation& simulation, const Genome& genome,
                  const QuarantineState& quarantine, bool force, double now) {
    if (save.off) {
        removeFile(save.path);
        return false;
    }
    if (!force && now < save.runStartTime + save.interval) return false;
    report("Auto-saving...");
    // A save that cannot be written must not stop the run: the previous save
    // (if any) stays as it was, and the next interval tries again.
    bool written = autoSaveWrite(save.path, simulation, genome, quarantine);
    save.runStartTime = now;
    report(written ? "Done" : format("Could not write auto-save file '%s'", save.path.c_str()));
    return written;
}

bool autoSaveRestore(AutoSave& save, Simulation& simulation, Genome& genome,
                     QuarantineState& quarantine, double now) {
    if (save.off) {
        removeFile(save.path);
        return false;
    }
    report("Searching for auto-saved file...");
    AutoSaveReadResult result = autoSaveRead(save.path, simulation, genome, quarantine);
    if (result == AutoSaveReadResult::Restored) {
        reportf("Restored simulation at %.1fns", simulation.time * 1e9);
        save.runStartTime = now;
        return true;
    }
    if (result == AutoSaveReadResult::Damaged) {
        reportf("Auto-save file '%s' is damaged and was not used", save.path.c_str());
    }
    report("No file present");
    return false;
}

void autoSaveDiscard(const AutoSave& save) {
    // Should the file outlive the delete, it is left empty, which no restore
    // accepts.
    if (!removeFile(save.path) && fileExists(save.path)) writeFileAtomic(save.path, "");
}
