// The fingerprint cache where no SQLite is built in (the Windows command for now): there
// is never a cache, so every scan fingerprints every file it needs, as with --no-cache.
#include "engine/FingerprintCache.h"

namespace pelidor {

FingerprintCache::~FingerprintCache() = default;

std::string FingerprintCache::defaultPath() {
    return {};
}

std::unique_ptr<FingerprintCache> FingerprintCache::open(const std::string&, int64_t, int,
                                                         const std::atomic<int32_t>*) {
    return nullptr;
}

bool FingerprintCache::clear(const std::string&) {
    return true;
}

void FingerprintCache::lookup(const std::vector<Key>& keys, std::vector<Entry>& out) {
    out.assign(keys.size(), Entry());
}

void FingerprintCache::store(const std::vector<std::pair<Key, Entry>>&) {}

} // namespace pelidor
