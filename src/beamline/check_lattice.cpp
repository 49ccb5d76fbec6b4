#include "beamline/check_lattice.hpp"

#include <algorithm>
#include <unordered_set>

#include "beamline/cell_attributes.hpp"
#include "beamline/components/rod_source.hpp"
#include "beamline/datafiles/scatter_format.hpp"
#include "common/text.hpp"
#include "lattice/parser.hpp"
#include "platform/files.hpp"

namespace {

bool dataFilePresent(const std::string& name) {
    return isSafeFileName(name) && fileExists(findFileNoCase("datafiles/" + name));
}

// The data files one element needs, each as the run would look for it.
void checkDataFiles(const Cell& cell, LatticeCheck& check) {
    auto finding = [&](const std::string& message) {
        auto line = check.elementLines.find(cell.name);
        check.findings.push_back(
            {line == check.elementLines.end() ? 0 : line->second, cell.name, message});
    };
    for (const CellAttribute& a : cell.attributes) {
        if (a.kind != AttributeText) continue;
        if (equalNoCase(a.name, "ScatterData")) {
            if (!isScatterPattern(a.text)) {
                finding("ScatterData '" + a.text + "' must hold \"%d\" once, for the row number");
            } else if (!dataFilePresent(scatterFileName(a.text, 0)) ||
                       !dataFilePresent(scatterFileName(a.text, 1))) {
                finding("scattering table '" + a.text + "' is not in datafiles/ (no '" +
                        scatterFileName(a.text, 0) + "' or '" + scatterFileName(a.text, 1) + "')");
            }
        } else if (startsWithNoCase(a.name, "file")) {
            // A rod source reads its list as NAME.csv whatever the extension.
            bool rod = containsNoCase(cell.typeName, "rodsource");
            bool present = rod ? !rodSourcePath(a.text).empty() && fileExists(rodSourcePath(a.text))
                               : dataFilePresent(a.text);
            if (!present) finding("data file '" + a.text + "' is not in datafiles/");
        }
    }
}

void walk(const Cell& cell, LatticeCheck& check, std::unordered_set<const Cell*>& seen) {
    if (!seen.insert(&cell).second) return;
    if (cell.kind == Machine) checkDataFiles(cell, check);
    for (const CellPtr& child : cell.children) {
        if (child) walk(*child, check, seen);
    }
}

}  // namespace

std::vector<LatticeFinding> checkLatticeText(std::string_view text, const std::string& path,
                                             const std::string& name, const Genome& genome) {
    LatticeCheck check;
    check.knowledge = &componentKnowledge();
    Genome used = genome;
    std::vector<LatticeParameter> parameters;
    InterpretOptions options{path, &check, &parameters};
    setMissingLevelRule([](std::string_view, const Genome& g) {
        return static_cast<int32_t>(genomeLevelCount(g.digits) / 2);
    });
    CellPtr root = interpretlattice(text, used, name, false, nullptr, options);
    resetMissingLevelRule();
    if (root) {
        std::unordered_set<const Cell*> seen;
        walk(*root, check, seen);
    }
    // A genome entry the lattice never reads is a misspelt or stale name.
    std::vector<std::string> known;
    for (const LatticeParameter& p : parameters) known.push_back(p.name);
    for (const std::string& entry : genome.names) {
        if (isMetaName(entry) || std::find(known.begin(), known.end(), entry) != known.end()) {
            continue;
        }
        check.findings.push_back({0, "",
                                  "the genome names '" + entry +
                                      "', which is no parameter of this lattice" +
                                      didYouMean(entry, known)});
    }
    std::vector<LatticeFinding>& findings = check.findings;
    std::stable_sort(
        findings.begin(), findings.end(),
        [](const LatticeFinding& a, const LatticeFinding& b) { return a.line < b.line; });
    // Code run in a loop makes the same mistake many times over.
    std::vector<LatticeFinding> unique;
    for (LatticeFinding& f : findings) {
        bool repeated = std::any_of(unique.begin(), unique.end(), [&](const LatticeFinding& u) {
            return u.line == f.line && u.element == f.element && u.message == f.message;
        });
        if (!repeated) unique.push_back(std::move(f));
    }
    return unique;
}
