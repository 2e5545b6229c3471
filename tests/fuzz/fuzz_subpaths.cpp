// RemoveSubPaths on a list of folder texts: one per line of the input; the first byte
// chooses the separator ("\\" for a backslash, else "/").
//
// Properties of the result:
// - sorted, and every entry was an input entry;
// - no entry equals another or lies inside another (the other followed by a separator);
// - every input entry equals or lies inside a result entry (nothing is lost);
// - thinning the result again changes nothing.
#include "engine/uSearchHolper.h"
#include "tests/fuzz/FuzzSupport.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

namespace {

// Independent of the platform's helper: `inner` is `outer` or below it.
bool sameOrInside(std::string_view inner, std::string_view outer, char sep) {
    if (inner == outer)
        return true;
    if (outer.empty() || inner.size() <= outer.size() || inner.compare(0, outer.size(), outer) != 0)
        return false;
    return outer.back() == sep || inner[outer.size()] == sep;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view input = pelidor::fuzz::asText(data, size);
    if (input.empty())
        return 0;
    const char sep = input.front() == '\\' ? '\\' : '/';
    input.remove_prefix(1);
    std::vector<std::string> list = pelidor::fuzz::splitParts(input, '\n', 200);
    const std::vector<std::string> original = list;

    pelidor::RemoveSubPaths(list, sep);

    FUZZ_CHECK(std::is_sorted(list.begin(), list.end()));
    for (const auto& entry : list)
        FUZZ_CHECK(std::find(original.begin(), original.end(), entry) != original.end());
    for (size_t i = 0; i < list.size(); ++i)
        for (size_t j = 0; j < list.size(); ++j)
            if (i != j)
                FUZZ_CHECK(!sameOrInside(list[i], list[j], sep));
    for (const auto& entry : original)
        FUZZ_CHECK(std::any_of(list.begin(), list.end(), [&](const std::string& kept) {
            return sameOrInside(entry, kept, sep);
        }));

    std::vector<std::string> again = list;
    pelidor::RemoveSubPaths(again, sep);
    FUZZ_CHECK(again == list);
    return 0;
}
