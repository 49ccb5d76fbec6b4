// What each component kind reads from its element's attributes, with the
// dimension of each number. The strict lattice check compares a lattice
// against it (a misspelt attribute is read by nobody, a field where a length
// belongs is a mistake), and printing shows each value in its usual unit.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "lattice/lattice_check.hpp"
#include "model/cell.hpp"

// The rule of an attribute of an element of this type text: the placement
// attributes every element has, then those of its component kind; none when
// nothing reads it.
std::optional<AttributeRule> cellAttributeRule(std::string_view type, std::string_view attribute);
// Every attribute an element of the type has a rule for.
std::vector<std::string> cellAttributeNames(std::string_view type);
// The dimension of a simulation parameter (t_max, dt, ...); none for a name
// the simulation does not read.
std::optional<Dimension> simulationParameterDimension(std::string_view name);

// The components' side of a strict lattice check.
const ElementKnowledge& componentKnowledge();
