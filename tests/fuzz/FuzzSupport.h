// Small helpers shared by the fuzz targets: a check that stops the run with a message
// (libFuzzer then saves the input), and splitting an input into parts.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace pelidor::fuzz {

[[noreturn]] inline void fail(const char* what, const char* file, int line) {
    std::fprintf(stderr, "\n*** fuzz property failed: %s (%s:%d)\n", what, file, line);
    std::abort();
}

// Splits at every `sep`; at most `limit` parts (the last one keeps the rest).
inline std::vector<std::string> splitParts(std::string_view text, char sep,
                                           size_t limit = SIZE_MAX) {
    std::vector<std::string> parts;
    size_t pos = 0;
    while (parts.size() + 1 < limit) {
        const size_t end = text.find(sep, pos);
        if (end == std::string_view::npos)
            break;
        parts.emplace_back(text.substr(pos, end - pos));
        pos = end + 1;
    }
    parts.emplace_back(text.substr(pos));
    return parts;
}

inline std::string_view asText(const uint8_t* data, size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

} // namespace pelidor::fuzz

#define FUZZ_CHECK(cond)                                                                           \
    do {                                                                                           \
        if (!(cond))                                                                               \
            ::pelidor::fuzz::fail(#cond, __FILE__, __LINE__);                                      \
    } while (false)
