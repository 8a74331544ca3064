// std::from_chars for double, which the browser build's standard library
// (libc++ 13) lacks; the build includes this header in every file. It reads
// what the standard's general format reads (no leading white space or '+',
// no hexadecimal prefix) and reports the same errors.
#pragma once

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <string>

namespace std {

inline from_chars_result from_chars(const char* first, const char* last, double& value,
                                    chars_format = chars_format::general) {
    const char* digits = first != last && *first == '-' ? first + 1 : first;
    if (digits == last || *digits == '+' || *digits == ' ' || *digits == '\t' || *digits == '\n' ||
        *digits == '\v' || *digits == '\f' || *digits == '\r') {
        return {first, errc::invalid_argument};
    }
    // strtod would read "0x1p3" as hexadecimal; the general format stops at the x.
    std::string text(first, last);
    if (last - digits >= 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        text.resize(static_cast<size_t>(digits - first) + 1);
    }
    char* end = nullptr;
    errno = 0;
    const double parsed = std::strtod(text.c_str(), &end);
    if (end == text.c_str()) return {first, errc::invalid_argument};
    const char* stop = first + (end - text.c_str());
    if (errno == ERANGE) return {stop, errc::result_out_of_range};
    value = parsed;
    return {stop, errc{}};
}

}  // namespace std
