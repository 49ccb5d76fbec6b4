#include "common/text.hpp"

#include <cstdio>
#include <cstdlib>
#include <vector>

char lowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}
char upperAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}

std::string lowerCopy(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = lowerAscii(c);
    return out;
}

bool equalNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); i++) {
        if (lowerAscii(a[i]) != lowerAscii(b[i])) return false;
    }
    return true;
}

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && equalNoCase(text.substr(0, prefix.size()), prefix);
}

size_t findNoCase(std::string_view text, std::string_view needle, size_t from) {
    if (needle.size() > text.size()) return std::string_view::npos;
    for (size_t i = from; i + needle.size() <= text.size(); i++) {
        if (equalNoCase(text.substr(i, needle.size()), needle)) return i;
    }
    return std::string_view::npos;
}

bool containsNoCase(std::string_view text, std::string_view needle) {
    return findNoCase(text, needle) != std::string_view::npos;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string trimBlanks(std::string_view text) {
    size_t a = 0, b = text.size();
    while (a < b && isBlank(text[a])) a++;
    while (b > a && isBlank(text[b - 1])) b--;
    return std::string(text.substr(a, b - a));
}

std::string vformat(const char* fmt, va_list args) {
    va_list copy;
    va_copy(copy, args);
    char small[256];
    int n = std::vsnprintf(small, sizeof small, fmt, copy);
    va_end(copy);
    if (n < 0) return "";
    if (static_cast<size_t>(n) < sizeof small) return std::string(small, static_cast<size_t>(n));
    std::vector<char> big(static_cast<size_t>(n) + 1);
    std::vsnprintf(big.data(), big.size(), fmt, args);
    return std::string(big.data(), static_cast<size_t>(n));
}

std::string format(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    std::string out = vformat(fmt, args);
    va_end(args);
    return out;
}

long long leadingInt(std::string_view text) {
    std::string copy(text.substr(0, 64));
    return std::strtoll(copy.c_str(), nullptr, 10);
}

double leadingDouble(std::string_view text) {
    std::string copy(text.substr(0, 512));
    return std::strtod(copy.c_str(), nullptr);
}
