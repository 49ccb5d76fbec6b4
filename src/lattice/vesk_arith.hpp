// The arithmetic of Vesk's operators, one function per operator, named by the
// rows of the operator table.
#pragma once

#include <cstdint>

#include "lattice/vesk.hpp"

// Whole-number operands are cut toward zero to 32 bits; what lies beyond the
// range of a 64-bit integer, and NaN, counts as 0 instead of being undefined.
int32_t Vesk_toint32(double d);

bool Vesk_product(double x, double y, double& r);
bool Vesk_quotient(double x, double y, double& r);
bool Vesk_sum(double x, double y, double& r);
bool Vesk_difference(double x, double y, double& r);
bool Vesk_less(double x, double y, double& r);
bool Vesk_atmost(double x, double y, double& r);
bool Vesk_greater(double x, double y, double& r);
bool Vesk_atleast(double x, double y, double& r);
bool Vesk_equal(double x, double y, double& r);
bool Vesk_unequal(double x, double y, double& r);
bool Vesk_and(double x, double y, double& r);
bool Vesk_or(double x, double y, double& r);
bool Vesk_remainder(double x, double y, double& r);  // false for a remainder by zero
bool Vesk_bitand(double x, double y, double& r);
bool Vesk_bitxor(double x, double y, double& r);
bool Vesk_bitor(double x, double y, double& r);
bool Vesk_shiftleft(double x, double y, double& r);
bool Vesk_shiftright(double x, double y, double& r);

Value Vesk_plus(const Value& a);
Value Vesk_negate(const Value& a);
Value Vesk_not(const Value& a);
Value Vesk_complement(const Value& a);
