#include "beamline/cell_attributes.hpp"

#include <span>

#include "beamline/cell_types.hpp"
#include "common/text.hpp"

namespace {

struct AttributeRow {
    const char* name;
    AttributeRule rule;
};

constexpr AttributeRule kLength{kDimLength, false};
constexpr AttributeRule kPlain{kDimNone, false};  // angles, counts, switches
constexpr AttributeRule kText{kDimNone, true};
constexpr AttributeRule kTime{kDimTime, false};
constexpr AttributeRule kEnergy{kDimEnergy, false};
constexpr AttributeRule kField{kDimField, false};

// clang-format off
// Read from every element while the line is placed and tracked.
constexpr AttributeRow kPlacement[] = {
    {"Length", kLength},       // arc length
    {"Angle", kPlain},         // bend of the beamline, radians
    {"Twist", kPlain},         // turn about the axis, radians
    {"X", kLength}, {"Y", kLength}, {"Z", kLength},              // offsets in global axes
    {"Xhere", kLength}, {"Yhere", kLength}, {"Zhere", kLength},  // anchor point inside
    {"Xflip", kPlain}, {"Yflip", kPlain}, {"Zflip", kPlain},     // mirror an axis when non-zero
    {"rotXY", kPlain}, {"rotYZ", kPlain}, {"rotZX", kPlain},     // rotations, radians
    {"Bore", kLength},         // radius of the pipe; particles outside it are lost
    {"ScatterData", kText},    // scattering table pattern in datafiles/
};
constexpr AttributeRow kRodSource[] = {
    {"File", kText}, {"Species", kText}, {"RodAngle", kPlain},
    {"TimeSpread", kPlain}, {"Axial", kPlain},  // copies of every listed particle
};
constexpr AttributeRow kMarsSource[] = {
    {"File", kText}, {"TimeSpread", kPlain}, {"Sigma", kTime}, {"Axial", kPlain},
};
constexpr AttributeRow kBlockage[] = {
    {"Type", kText}, {"Xsize", kLength}, {"Ysize", kLength}, {"Zsize", kLength},
    {"Radius", kLength}, {"OuterRadius", kLength}, {"InnerRadius", kLength},
    {"MajorRadius", kLength}, {"MinorRadius", kLength}, {"AbsorptionLength", kLength},
};
constexpr AttributeRow kSolenoid[] = {
    {"Radius", kLength}, {"Field", kField}, {"OuterRadius", kLength},
    {"OnTime", kTime}, {"OffTime", kTime},
};
constexpr AttributeRow kBendMagnet[] = {
    {"Field", kField},  // scales the field map
    {"File1", kText}, {"File2", kText}, {"File3", kText}, {"File4", kText},
};
constexpr AttributeRow kAperture[] = {
    {"Radius", kLength}, {"CentreX", kLength}, {"CentreY", kLength},   // circular plates
    {"X1", kLength}, {"X2", kLength}, {"Y1", kLength}, {"Y2", kLength},  // rectangular
    {"Distance", kLength}, {"NormalX", kPlain}, {"NormalY", kPlain},     // edge
    {"Action", kPlain}, {"AltAction", kPlain}, {"Stopping", kPlain},
    {"MinEnergy", kEnergy}, {"MaxEnergy", kEnergy},  // kinetic energy window
    {"OutputFile", kText},
};
constexpr AttributeRow kRfCavity[] = {
    {"Voltage", {kDimVoltage, false}}, {"Frequency", {kDimFrequency, false}},
    {"Phase", kPlain}, {"Radius", kLength},
};
constexpr AttributeRow kParticle[] = {
    {"Species", kText}, {"Energy", kEnergy}, {"t_start", kTime}, {"id", kPlain},
    {"Vx", {kDimVelocity, false}}, {"Vy", {kDimVelocity, false}}, {"Vz", {kDimVelocity, false}},
};
// One entry per row of the component type table, in its order.
constexpr std::span<const AttributeRow> kKinds[kCellTypeCount] = {
    kRodSource,   // rodsource
    kMarsSource,  // marssource
    kBlockage,    // blockage
    kSolenoid,    // solenoid
    kBendMagnet,  // bmagnet
    kAperture,    // -aperture
    kRfCavity,    // RF
    kParticle,    // particle
    {},           // drift
};
// Read from the parameters cell (NAME=value statements).
constexpr struct {
    const char* name;
    Dimension dimension;
} kSimulationParameters[] = {
    {"t_max", kDimTime}, {"dt", kDimTime}, {"errrate", kDimNone},
    {"twiss_interval", kDimLength},  // spacing of the automatic moments apertures
    {"n_decays", kDimNone}, {"decays_off", kDimNone}, {"scattering_off", kDimNone},
    {"seed", kDimNone}, {"seedpitch", kDimNone},
};
// clang-format on

std::span<const AttributeRow> kindRows(std::string_view type) {
    const CellType* row = cellTypeFind(type);
    if (!row) return {};
    return kKinds[row - cellTypes];
}

std::optional<AttributeRule> find(std::span<const AttributeRow> rows, std::string_view attribute) {
    for (const AttributeRow& row : rows) {
        if (equalNoCase(row.name, attribute)) return row.rule;
    }
    return std::nullopt;
}

}  // namespace

std::optional<AttributeRule> cellAttributeRule(std::string_view type, std::string_view attribute) {
    if (std::optional<AttributeRule> rule = find(kPlacement, attribute)) return rule;
    return find(kindRows(type), attribute);
}

std::vector<std::string> cellAttributeNames(std::string_view type) {
    std::vector<std::string> names;
    for (const AttributeRow& row : kPlacement) names.emplace_back(row.name);
    for (const AttributeRow& row : kindRows(type)) names.emplace_back(row.name);
    return names;
}

std::optional<Dimension> simulationParameterDimension(std::string_view name) {
    for (const auto& parameter : kSimulationParameters) {
        if (equalNoCase(parameter.name, name)) return parameter.dimension;
    }
    // allow_SPECIES switches a species on or off.
    if (startsWithNoCase(name, "allow_")) return kDimNone;
    return std::nullopt;
}

const ElementKnowledge& componentKnowledge() {
    static const ElementKnowledge knowledge{
        .isComponent = [](std::string_view type) { return cellTypeFind(type) != nullptr; },
        .attribute = cellAttributeRule,
        .attributeNames = cellAttributeNames,
        .typeNames =
            [] {
                // The spellings lattices use, rather than the table's match texts.
                return std::vector<std::string>{"RodSource",
                                                "MARSsource",
                                                "Blockage",
                                                "Solenoid",
                                                "BMagnet",
                                                "RF",
                                                "Drift",
                                                "Synchronous-particle",
                                                "circular-aperture",
                                                "rectangular-aperture",
                                                "edge-aperture",
                                                "moments-aperture",
                                                "output-aperture",
                                                "finish-aperture"};
            },
        .parameter = simulationParameterDimension,
    };
    return knowledge;
}
