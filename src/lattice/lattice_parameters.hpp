// The free parameters of a lattice as its author wrote them: name, range and
// unit. The genome holds only levels (0 to 999); people read values.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/genome.hpp"

struct LatticeParameter {
    std::string name;       // the genome name, lower case
    double lo = 0, hi = 0;  // the range, SI values
    std::string unit;       // as the author wrote it or the format's default; empty: plain
    double factor = 1;      // SI value of one `unit`
};

// The free parameters a lattice text declares when interpreted with this
// genome (code may declare different ones for different genomes), in the
// order they are met; none when the text cannot be interpreted. Messages of
// the interpreter are not shown.
std::optional<std::vector<LatticeParameter>> latticeParameters(std::string_view text,
                                                               const std::string& name,
                                                               const Genome& genome);

// The value a genome gives a parameter, in SI units; none when the genome
// lacks it.
std::optional<double> parameterValue(const Genome& genome, const LatticeParameter& parameter);

// "s1f=2.5T len=0.5m tchannel=2.4": every parameter of the genome in its own
// unit, in the lattice's order; parameters the genome lacks are left out.
std::string genomeInUnits(const Genome& genome, const std::vector<LatticeParameter>& parameters);
