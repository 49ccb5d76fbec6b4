#include "display/view_settings.hpp"

ViewSettings& viewSettings() {
    static ViewSettings settings;
    return settings;
}

int showField(uint16_t mask, int shift) {
    return (mask >> shift) & 3;
}

void setShowField(uint16_t& mask, int shift, int value) {
    mask = static_cast<uint16_t>((mask & ~(3u << shift)) |
                                 ((static_cast<unsigned>(value) & 3u) << shift));
}
