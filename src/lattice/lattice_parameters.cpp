#include "lattice/lattice_parameters.hpp"

#include "common/text.hpp"
#include "lattice/parser.hpp"

std::optional<std::vector<LatticeParameter>> latticeParameters(std::string_view text,
                                                               const std::string& name,
                                                               const Genome& genome) {
    // A copy: reading parameters the genome lacks would add them to it.
    Genome scratch = genome;
    // A check run keeps a broken statement from ending the program, and its
    // findings are not wanted here.
    LatticeCheck quiet;
    std::vector<LatticeParameter> parameters;
    InterpretOptions options;
    options.check = &quiet;
    options.parameters = &parameters;
    CellPtr root = interpretlattice(text, scratch, name, false, nullptr, options);
    if (!root) return std::nullopt;
    return parameters;
}

std::optional<double> parameterValue(const Genome& genome, const LatticeParameter& parameter) {
    if (!genomeHas(genome, parameter.name)) return std::nullopt;
    // The interpreter's own arithmetic, on a copy it cannot change.
    Genome copy = genome;
    return genomeReal(copy, parameter.name, parameter.lo, parameter.hi);
}

std::string genomeInUnits(const Genome& genome, const std::vector<LatticeParameter>& parameters) {
    std::string out;
    for (const LatticeParameter& parameter : parameters) {
        std::optional<double> value = parameterValue(genome, parameter);
        if (!value) continue;
        if (!out.empty()) out += ' ';
        out += format("%s=%g%s", parameter.name.c_str(), *value / parameter.factor,
                      parameter.unit.c_str());
    }
    return out;
}
