#include "display/display_file.hpp"

#include <cmath>
#include <cstdlib>
#include <functional>
#include <vector>

#include "common/text.hpp"
#include "platform/files.hpp"

namespace {

constexpr const char* kHeader = "Pelto display settings";
constexpr int64_t kMaxFileBytes = 64 * 1024;

// One setting: its name in the file, how it is written and how a value is
// taken back (false when the value is out of range, which then changes nothing).
struct Entry {
    const char* name;
    std::function<std::string(const ViewSettings&)> write;
    std::function<bool(ViewSettings&, const std::string&)> read;
};

bool parseInt(const std::string& text, long long lo, long long hi, long long& out) {
    char* end = nullptr;
    long long v = std::strtoll(text.c_str(), &end, 10);
    if (end == text.c_str() || *end != '\0' || v < lo || v > hi) return false;
    out = v;
    return true;
}

bool parseReal(const std::string& text, double lo, double hi, double& out) {
    char* end = nullptr;
    double v = std::strtod(text.c_str(), &end);
    if (end == text.c_str() || *end != '\0' || !std::isfinite(v) || v < lo || v > hi) return false;
    out = v;
    return true;
}

Entry flag(const char* name, bool ViewSettings::*field) {
    return {name, [field](const ViewSettings& v) { return std::string(v.*field ? "1" : "0"); },
            [field](ViewSettings& v, const std::string& t) {
                long long n = 0;
                if (!parseInt(t, 0, 1, n)) return false;
                v.*field = n != 0;
                return true;
            }};
}

Entry integer(const char* name, int ViewSettings::*field, int lo, int hi) {
    return {name, [field](const ViewSettings& v) { return std::to_string(v.*field); },
            [field, lo, hi](ViewSettings& v, const std::string& t) {
                long long n = 0;
                if (!parseInt(t, lo, hi, n)) return false;
                v.*field = static_cast<int>(n);
                return true;
            }};
}

Entry real(const char* name, double ViewSettings::*field, double lo, double hi) {
    return {name, [field](const ViewSettings& v) { return format("%.17g", v.*field); },
            [field, lo, hi](ViewSettings& v, const std::string& t) {
                return parseReal(t, lo, hi, v.*field);
            }};
}

Entry word16(const char* name, uint16_t ViewSettings::*field) {
    return {name, [field](const ViewSettings& v) { return std::to_string(v.*field); },
            [field](ViewSettings& v, const std::string& t) {
                long long n = 0;
                if (!parseInt(t, 0, 0xFFFF, n)) return false;
                v.*field = static_cast<uint16_t>(n);
                return true;
            }};
}

const std::vector<Entry>& entries() {
    static const std::vector<Entry> table = {
        word16("showMask", &ViewSettings::showMask),
        flag("phaseSpacePlots", &ViewSettings::phaseSpacePlots),
        flag("particleInfo", &ViewSettings::particleInfo),
        flag("bigParticles", &ViewSettings::bigParticles),
        flag("autoFrameRate", &ViewSettings::autoFrameRate),
        {"stepsPerPass", [](const ViewSettings& v) { return std::to_string(v.stepsPerPass); },
         [](ViewSettings& v, const std::string& t) {
             long long n = 0;
             if (!parseInt(t, 1, 1 << 20, n)) return false;
             v.stepsPerPass = static_cast<int32_t>(n);
             return true;
         }},
        flag("autoView", &ViewSettings::autoView),
        flag("smallText", &ViewSettings::smallText),
        integer("infoMode", &ViewSettings::infoMode, 0, 2),
        flag("showNames", &ViewSettings::showD),
        flag("parameterGraphsOn", &ViewSettings::graphsOn),
        word16("parameterGraphs", &ViewSettings::parameterGraphs),
        {"projection",
         [](const ViewSettings& v) {
             return std::string(v.projection == Projection::Stereo ? "stereo" : "standard");
         },
         [](ViewSettings& v, const std::string& t) {
             if (t != "stereo" && t != "standard") return false;
             v.projection = t == "stereo" ? Projection::Stereo : Projection::Standard;
             return true;
         }},
        real("fieldOfView", &ViewSettings::fieldOfView, 1e-6, 1e6),
        integer("stereoColours", &ViewSettings::stereoColours, 0, 2),
        real("stereoDepth", &ViewSettings::stereoDepth, -100, 100),
        real("stereoRange", &ViewSettings::stereoRange, 1e-6, 1e6),
        real("panZ", &ViewSettings::panZ, -1e6, 1e6),
        real("panX", &ViewSettings::panX, -1e6, 1e6),
    };
    return table;
}

}  // namespace

std::string displaySettingsText(const ViewSettings& view) {
    std::string text = std::string(kHeader) + "\n";
    for (const Entry& e : entries()) text += std::string(e.name) + ": " + e.write(view) + "\n";
    return text;
}

bool applyDisplaySettingsText(const std::string& text, ViewSettings& view) {
    size_t end = text.find('\n');
    if (trimBlanks(text.substr(0, end)) != kHeader) return false;
    while (end != std::string::npos) {
        size_t start = end + 1;
        end = text.find('\n', start);
        std::string line = text.substr(start, end == std::string::npos ? end : end - start);
        size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        std::string name = trimBlanks(line.substr(0, colon));
        std::string value = trimBlanks(line.substr(colon + 1));
        for (const Entry& e : entries()) {
            if (equalNoCase(name, e.name)) {
                e.read(view, value);
                break;
            }
        }
    }
    return true;
}

bool loadDisplaySettings(const std::string& path, ViewSettings& view) {
    std::string text;
    if (readWholeFile(path, text, kMaxFileBytes) != ReadStatus::Ok) return false;
    return applyDisplaySettingsText(text, view);
}

bool saveDisplaySettings(const std::string& path, const ViewSettings& view) {
    return writeFileAtomic(path, displaySettingsText(view));
}
