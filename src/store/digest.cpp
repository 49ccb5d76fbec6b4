#include "store/digest.hpp"

#include <array>
#include <cmath>
#include <memory>
#include <numbers>

namespace {

// 65536 cells, built once. The recurrence was defined with signed 32-bit
// arithmetic that overflows; only the low byte of each step is kept, and
// unsigned arithmetic gives the same low bytes without undefined behaviour.
std::unique_ptr<std::array<uint16_t, 65536>> buildMixTable() {
    std::array<int32_t, 65536> cells;
    cells.fill(-1);
    uint32_t h = 0, j = 0;
    for (uint32_t i = 0; i < 65536; i++) {
        uint32_t p = static_cast<uint32_t>(static_cast<int32_t>(std::floor(i / std::numbers::pi)));
        uint32_t hn = (h + 13 + (i / 123) * (j + 67 + p * (3 * h + 82)) + 37 * h * j * j) & 255u;
        uint32_t jn = (j + 31 + i * (hn + 76 + p * (3 * j + 28) + 73 * hn * hn * j)) & 255u;
        while (cells[hn * 256 + jn] != -1) {
            if (++hn > 255) {
                hn = 0;
                if (++jn > 255) jn = 0;
            }
        }
        cells[hn * 256 + jn] = static_cast<int32_t>(i);
        h = hn;
        j = jn;
    }
    auto table = std::make_unique<std::array<uint16_t, 65536>>();
    for (size_t k = 0; k < cells.size(); k++) (*table)[k] = static_cast<uint16_t>(cells[k]);
    return table;
}

const std::array<uint16_t, 65536>& mixTable() {
    static const std::unique_ptr<std::array<uint16_t, 65536>> table = buildMixTable();
    return *table;
}

__extension__ typedef unsigned __int128 Wide;

}  // namespace

Digest digestZero(size_t n) {
    return Digest(n, 0);
}

void digestAdd32(Digest& d, uint32_t a) {
    for (uint8_t& byte : d) {
        uint32_t t = byte;
        byte = static_cast<uint8_t>((t + a) & 255u);
        a = (a + t) >> 8;
    }
}

void digestMulSmall(Digest& d, uint32_t m) {
    uint32_t carry = 0;
    for (uint8_t& byte : d) {
        carry = carry + m * byte;
        byte = static_cast<uint8_t>(carry & 255u);
        carry >>= 8;
    }
}

Digest digestXor(const Digest& d1, const Digest& d2) {
    const Digest& longer = d2.size() > d1.size() ? d2 : d1;
    const Digest& shorter = d2.size() > d1.size() ? d1 : d2;
    Digest out = longer;
    for (size_t i = 0; i < shorter.size(); i++) out[i] ^= shorter[i];
    return out;
}

uint16_t digestMixEntry(uint8_t row, uint8_t column) {
    return mixTable()[size_t{row} * 256 + column];
}

void digestMix(Digest& d) {
    const auto& table = mixTable();
    size_t n = d.size();
    for (size_t s = 1; s < n; s *= 2) {
        for (size_t i = n; i-- > 0;) {
            size_t k = (i + s) % n;
            uint16_t e = table[size_t{d[i]} * 256 + d[k]];
            d[i] = static_cast<uint8_t>(e >> 8);
            d[k] = static_cast<uint8_t>(e & 255u);
        }
    }
}

void digestFeedContent(Digest& d, std::string_view bytes) {
    size_t n = d.size();
    if (n == 0) return;
    if (n > sizeof(Wide)) {
        for (char ch : bytes) {
            auto c = static_cast<unsigned char>(ch);
            if (c < 33 || c > 127) continue;
            digestMulSmall(d, 13);
            digestAdd32(d, c);
        }
        return;
    }
    // Multiplying by 13 and adding a byte below 128 is exact arithmetic modulo
    // 256^n, so a wide integer gives the same bytes an order of magnitude faster.
    Wide value = 0;
    for (size_t i = n; i-- > 0;) value = (value << 8) | d[i];
    for (char ch : bytes) {
        auto c = static_cast<unsigned char>(ch);
        if (c < 33 || c > 127) continue;
        value = value * 13 + c;
    }
    for (size_t i = 0; i < n; i++) {
        d[i] = static_cast<uint8_t>(value & 255u);
        value >>= 8;
    }
}
