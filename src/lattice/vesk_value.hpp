// The value that Vesk tokens, tree nodes, variables and evaluations carry: a
// short kind tag and a payload. Kinds used by the language: "" (empty, not
// yet known), "Xn" (a number), "Xl" (an lvalue naming a variable), "Text";
// tree nodes also carry the kinds of the operator table ("X", "S", "For1" ...).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

inline constexpr int VESK_KINDLEN = 16;  // kind tag of at most 15 characters

struct Value {
    char kind[VESK_KINDLEN] = {};
    double number = 0;
    // "Text": the text, when hasText. "Xl": the variable's name, when hasText;
    // the variable itself is looked up by the environment.
    std::string text;
    bool hasText = false;
    int32_t var = -1;  // "Xl": index in the environment's variable table, or -1
};

Value Value_number(double number);
Value Value_text(std::string_view text);
Value Value_lvalue(std::string_view name, int32_t var);
// A value of the given kind (cut to 15 characters) with no payload.
Value Value_kind(std::string_view kind);

std::string_view Value_kindname(const Value& v);
bool Value_is(const Value& v, std::string_view kind);           // kind exactly
bool Value_hasprefix(const Value& v, std::string_view prefix);  // kind begins with
inline bool Value_isnumber(const Value& v) {
    return v.kind[0] == 'X' && v.kind[1] == 'n' && v.kind[2] == 0;
}
inline bool Value_islvalue(const Value& v) {
    return v.kind[0] == 'X' && v.kind[1] == 'l' && v.kind[2] == 0;
}
inline bool Value_isempty(const Value& v) {
    return v.kind[0] == 0;
}
// Only a non-zero number is true; texts and empty values are false.
inline bool Value_true(const Value& v) {
    return Value_isnumber(v) && v.number != 0;
}

// The printed form used in dumps and wherever a value becomes text: numbers
// with "%lg", texts as Text '...', lvalues as their name, the empty value as
// "(tba)".
std::string Value_print(const Value& v);
