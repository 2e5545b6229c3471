// Temporary folder trees for tests: real files in a fresh folder under $TMPDIR,
// removed again (permissions restored first) when the object goes away.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pelidor::test {

class TempTree {
public:
    TempTree();
    ~TempTree();
    TempTree(const TempTree&) = delete;
    TempTree& operator=(const TempTree&) = delete;

    // The root folder, without a trailing separator.
    const std::string& root() const { return root_; }
    // root() + "/" + relative.
    std::string path(std::string_view relative) const;

    // Creates the folder and its parents.
    std::string mkdir(std::string_view relative) const;
    // Writes a file (parents created) and returns its full path.
    std::string write(std::string_view relative, std::string_view content) const;
    // Writes a file of `size` bytes made from a seed, so equal seeds give equal content.
    std::string writeSized(std::string_view relative, int64_t size, uint32_t seed) const;
    // Sets the modification time (seconds since 1970 UTC).
    void setMTime(std::string_view relative, int64_t seconds) const;
    // Creates a symbolic link at `relative` that points to `target`.
    void symlink(std::string_view target, std::string_view relative) const;

private:
    std::string root_;
};

// Deterministic content of `size` bytes for a seed.
std::string seededContent(int64_t size, uint32_t seed);

// The names in a folder ("." and ".." left out), sorted; empty when it cannot be read.
std::vector<std::string> folderNames(const std::string& folder);

// A file's whole content; empty when it cannot be read.
std::string readAll(const std::string& path);
// True when something stands at `path` (a link itself counts; it is not followed).
bool pathExists(const std::string& path);
// True when `path` is a folder (a link to one is not).
bool isFolder(const std::string& path);

// True when the tests run with root rights (permission tests then do not apply).
bool runningAsRoot();

} // namespace pelidor::test
