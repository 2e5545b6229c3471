#include "actions/CopyRules.h"

namespace pelidor {

bool ModeNeedsContentProof(TDuplicateType Mode) {
    return Mode == dtMd5 || Mode == dtMd5Part;
}

bool ModeAsksForEveryCopy(TDuplicateType Mode, bool EmptyFileSearch) {
    return !(EmptyFileSearch && Mode == dtDataSize);
}

TActionPlan::TActionPlan(const std::vector<TListedFile>& List) {
    std::unordered_map<int32_t, bool> anyStays; // per group: an unticked entry with a file
    std::vector<int32_t> order;                 // groups in the order of their first entry
    for (size_t i = 0; i < List.size(); ++i) {
        const TListedFile& e = List[i];
        if (e.File == nullptr)
            continue;
        const auto [it, added] = anyStays.try_emplace(e.Group, false);
        if (added)
            order.push_back(e.Group);
        if (e.Ticked && !e.Reference) {
            ticked_.push_back(i);
            ++tickedInGroup_[e.Group];
            tickedBytes_ += e.File->FileSize;
        } else {
            it->second = true;
            staying_[e.Group].push_back(e.File);
        }
    }
    for (const int32_t group : order)
        if (!anyStays[group] && tickedInGroup_.count(group) != 0)
            everyCopy_.push_back(group);
}

bool TActionPlan::LosesEveryCopy(int32_t Group) const {
    const auto it = tickedInGroup_.find(Group);
    return it != tickedInGroup_.end() && staying_.find(Group) == staying_.end();
}

size_t TActionPlan::EveryCopyFiles() const {
    size_t n = 0;
    for (const int32_t group : everyCopy_)
        n += tickedInGroup_.at(group);
    return n;
}

const std::vector<const TDuplicateFile*>& TActionPlan::Staying(int32_t Group) const {
    static const std::vector<const TDuplicateFile*> none;
    const auto it = staying_.find(Group);
    return it != staying_.end() ? it->second : none;
}

} // namespace pelidor
