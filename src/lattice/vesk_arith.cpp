#include "lattice/vesk_arith.hpp"

namespace {

// The bitwise operators work on whole numbers and give an unsigned result.
template <class Op>
bool onWhole(double x, double y, double& r, Op op) {
    r = op(static_cast<uint32_t>(Vesk_toint32(x)), static_cast<uint32_t>(Vesk_toint32(y)));
    return true;
}

}  // namespace

int32_t Vesk_toint32(double d) {
    if (!(d > -9.2e18 && d < 9.2e18)) return 0;
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<int64_t>(d)));
}

// clang-format off
bool Vesk_product(double x, double y, double& r) { r = x * y; return true; }
bool Vesk_quotient(double x, double y, double& r) { r = x / y; return true; }
bool Vesk_sum(double x, double y, double& r) { r = x + y; return true; }
bool Vesk_difference(double x, double y, double& r) { r = x - y; return true; }
bool Vesk_less(double x, double y, double& r) { r = x < y; return true; }
bool Vesk_atmost(double x, double y, double& r) { r = x <= y; return true; }
bool Vesk_greater(double x, double y, double& r) { r = x > y; return true; }
bool Vesk_atleast(double x, double y, double& r) { r = x >= y; return true; }
bool Vesk_equal(double x, double y, double& r) { r = x == y; return true; }
bool Vesk_unequal(double x, double y, double& r) { r = x != y; return true; }
bool Vesk_and(double x, double y, double& r) { r = x != 0 && y != 0; return true; }
bool Vesk_or(double x, double y, double& r) { r = x != 0 || y != 0; return true; }
// clang-format on

bool Vesk_remainder(double x, double y, double& r) {
    int32_t a = Vesk_toint32(x), b = Vesk_toint32(y);
    if (b == 0) return false;
    // INT32_MIN % -1 overflows; every remainder by -1 is 0.
    r = static_cast<uint32_t>(b == -1 ? 0 : a % b);
    return true;
}

bool Vesk_bitand(double x, double y, double& r) {
    return onWhole(x, y, r, [](uint32_t a, uint32_t b) { return a & b; });
}

bool Vesk_bitxor(double x, double y, double& r) {
    return onWhole(x, y, r, [](uint32_t a, uint32_t b) { return a ^ b; });
}

bool Vesk_bitor(double x, double y, double& r) {
    return onWhole(x, y, r, [](uint32_t a, uint32_t b) { return a | b; });
}

bool Vesk_shiftleft(double x, double y, double& r) {
    return onWhole(x, y, r, [](uint32_t a, uint32_t b) { return a << (b & 31); });
}

bool Vesk_shiftright(double x, double y, double& r) {
    // An arithmetic shift of the signed operand, as the language always did.
    int32_t a = Vesk_toint32(x), b = Vesk_toint32(y);
    r = static_cast<uint32_t>(a >> (b & 31));
    return true;
}

Value Vesk_plus(const Value& a) {
    return a;
}

Value Vesk_negate(const Value& a) {
    return Value_number(-a.number);
}

Value Vesk_not(const Value& a) {
    return Value_number(a.number == 0 ? 1 : 0);
}

Value Vesk_complement(const Value& a) {
    return Value_number(static_cast<uint32_t>(~Vesk_toint32(a.number)));
}
