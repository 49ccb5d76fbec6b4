#include "lattice/vesk_value.hpp"

#include <cstring>

#include "common/text.hpp"

Value Value_kind(std::string_view kind) {
    Value v;
    size_t n = kind.size() < VESK_KINDLEN - 1 ? kind.size() : VESK_KINDLEN - 1;
    std::memcpy(v.kind, kind.data(), n);
    return v;
}

Value Value_number(double number) {
    Value v = Value_kind("Xn");
    v.number = number;
    return v;
}

Value Value_text(std::string_view text) {
    Value v = Value_kind("Text");
    v.text = text;
    v.hasText = true;
    return v;
}

Value Value_lvalue(std::string_view name, int32_t var) {
    Value v = Value_kind("Xl");
    v.text = name;
    v.hasText = true;
    v.var = var;
    return v;
}

std::string_view Value_kindname(const Value& v) {
    return std::string_view(v.kind, strnlen(v.kind, VESK_KINDLEN));
}

bool Value_is(const Value& v, std::string_view kind) {
    return Value_kindname(v) == kind;
}

bool Value_hasprefix(const Value& v, std::string_view prefix) {
    return Value_kindname(v).substr(0, prefix.size()) == prefix;
}

std::string Value_print(const Value& v) {
    if (Value_isempty(v)) return "(tba)";
    if (Value_isnumber(v)) return format("%lg", v.number);
    if (Value_is(v, "Text")) return "Text '" + (v.hasText ? v.text : std::string()) + "'";
    if (Value_islvalue(v)) return v.hasText ? v.text : "?Unspecified LValue?";
    return "?Unknown?";
}
