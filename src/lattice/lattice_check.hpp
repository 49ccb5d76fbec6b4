// The strict reading of a lattice file that lattice authors ask for. The
// client reads lattices tolerantly (stored lattices rely on that); a check
// runs the same interpreter but collects every doubtful thing it meets, with
// the file line and the element, instead of assuming and going on.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "lattice/made_cells.hpp"
#include "model/units.hpp"

// What a component reads from an attribute.
struct AttributeRule {
    Dimension dimension;  // of a number attribute
    bool text = false;    // a file name, a species, a shape: not a number
};

// What the interpreter cannot know itself: which component types exist and
// which attributes they read. The layer that owns the components supplies it.
struct ElementKnowledge {
    // Whether elements of this type text become a component (else they only
    // take up length).
    std::function<bool(std::string_view type)> isComponent;
    // The rule of an attribute of a component type; none when no component
    // of that type reads it.
    std::function<std::optional<AttributeRule>(std::string_view type, std::string_view attribute)>
        attribute;
    // Every attribute name a type reads, for suggestions.
    std::function<std::vector<std::string>(std::string_view type)> attributeNames;
    // Every component type name, for suggestions.
    std::function<std::vector<std::string>()> typeNames;
    // The dimension of a simulation parameter set by NAME=value; none for a
    // name the simulation does not read.
    std::function<std::optional<Dimension>(std::string_view name)> parameter;
};

struct LatticeFinding {
    int line = 0;  // 0: the file as a whole
    std::string element;
    std::string message;
};

struct LatticeCheck {
    const ElementKnowledge* knowledge = nullptr;  // none: only what the interpreter knows
    std::vector<LatticeFinding> findings;
    // The line where each element was made, for findings about the built line.
    std::unordered_map<std::string, int, NoCaseHash, NoCaseEqual> elementLines;
};

// The candidate closest to `word` ignoring case (a swap of two neighbours
// counts as one edit), when it is close enough to be a likely misspelling;
// empty otherwise.
std::string closestName(std::string_view word, const std::vector<std::string>& candidates);
// " (did you mean 'X'?)" for the closest candidate, or empty.
std::string didYouMean(std::string_view word, const std::vector<std::string>& candidates);

// "FILE:LINE: ELEMENT: message", as compilers write it.
std::string findingText(const std::string& path, const LatticeFinding& finding);
