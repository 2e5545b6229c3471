// PathMatchSpec on a name and a mask taken from the input (split at the first NUL byte,
// or the first line break when there is none).
//
// Properties:
// - for ASCII names and masks the result equals a plain reference matcher (patterns
//   split at ";", blanks around each removed, "*.*" and "*" match everything, "*" any
//   run, "?" one character, letters A-Z without regard to case);
// - changing the case of a name's ASCII letters never changes the result;
// - "*" matches every name; a name matches itself as a mask (when it holds no ";" and
//   no blanks at either end); adding a pattern never turns a match into a miss.
#include "engine/uSearchHolper.h"
#include "tests/fuzz/FuzzSupport.h"

#include <string>
#include <string_view>
#include <vector>

using pelidor::PathMatchSpec;

namespace {

char lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Dynamic programming over positions: reach[j] = the first j characters of the pattern
// match the name's prefix read so far.
bool referenceMatch(std::string_view name, std::string_view pat) {
    std::vector<char> reach(pat.size() + 1, 0);
    reach[0] = 1;
    for (size_t j = 1; j <= pat.size() && pat[j - 1] == '*'; ++j)
        reach[j] = 1;
    for (char n : name) {
        std::vector<char> next(pat.size() + 1, 0);
        for (size_t j = 1; j <= pat.size(); ++j) {
            const char p = pat[j - 1];
            if (p == '*')
                next[j] = next[j - 1] || reach[j];
            else if (p == '?' || lower(p) == lower(n))
                next[j] = reach[j - 1];
        }
        reach.swap(next);
    }
    return reach[pat.size()] != 0;
}

bool referenceSpec(std::string_view name, std::string_view mask) {
    for (std::string pattern : pelidor::fuzz::splitParts(mask, ';')) {
        while (!pattern.empty() && pattern.front() == ' ')
            pattern.erase(0, 1);
        while (!pattern.empty() && pattern.back() == ' ')
            pattern.pop_back();
        if (pattern.empty())
            continue;
        if (pattern == "*.*" || referenceMatch(name, pattern))
            return true;
    }
    return false;
}

bool ascii(std::string_view s) {
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

std::string swapAsciiCase(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        else if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input = pelidor::fuzz::asText(data, size);
    size_t cut = input.find('\0');
    if (cut == std::string_view::npos)
        cut = input.find('\n');
    if (cut == std::string_view::npos)
        cut = input.size();
    const std::string_view name = input.substr(0, cut);
    const std::string_view mask = cut < input.size() ? input.substr(cut + 1) : std::string_view();

    const bool result = PathMatchSpec(name, mask);
    if (ascii(name) && ascii(mask))
        FUZZ_CHECK(result == referenceSpec(name, mask));
    FUZZ_CHECK(PathMatchSpec(swapAsciiCase(name), mask) == result);
    FUZZ_CHECK(PathMatchSpec(name, "*"));
    FUZZ_CHECK(PathMatchSpec(name, std::string(mask) + "; *.*"));
    if (result)
        FUZZ_CHECK(PathMatchSpec(name, "nothing-like-it.q;" + std::string(mask)));
    const bool plainName = !name.empty() && name.find(';') == std::string_view::npos &&
                           name.front() != ' ' && name.back() != ' ';
    if (plainName)
        FUZZ_CHECK(PathMatchSpec(name, name));
    return 0;
}
