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

void FingerprintCache::lookup(const std::vector<Key>& keys, std::vector<Digests>& out) {
    out.assign(keys.size(), Digests());
}

std::string FingerprintCache::hex(const unsigned char (&digest)[16]) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string out(32, '0');
    for (int i = 0; i < 16; ++i) {
        out[2 * i] = digits[digest[i] >> 4];
        out[2 * i + 1] = digits[digest[i] & 15];
    }
    return out;
}

bool FingerprintCache::preload(int64_t) {
    return false;
}

void FingerprintCache::store(const std::vector<std::pair<Key, Entry>>&) {}

void FingerprintCache::store(const std::vector<std::pair<Key, Digests>>&) {}

bool FingerprintCache::toDigest(const std::string& hex, unsigned char (&out)[16]) {
    if (hex.size() != 32)
        return false;
    for (size_t i = 0; i < 32; ++i) {
        const char c = hex[i];
        int v = -1;
        if (c >= '0' && c <= '9')
            v = c - '0';
        else if (c >= 'A' && c <= 'F')
            v = c - 'A' + 10;
        else if (c >= 'a' && c <= 'f')
            v = c - 'a' + 10;
        if (v < 0)
            return false;
        if (i % 2 == 0)
            out[i / 2] = static_cast<unsigned char>(v << 4);
        else
            out[i / 2] = static_cast<unsigned char>(out[i / 2] | v);
    }
    return true;
}

} // namespace pelidor
