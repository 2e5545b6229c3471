// Replacing a file by a link or a clone is not offered on Windows yet: every step
// refuses with ENOSYS, so the commands report the reason and change nothing.
#include "platform/Replace.h"

#include <cerrno>
#include <utility>

namespace pelidor::platform {
namespace {

bool refuse(int* error) {
    if (error != nullptr)
        *error = ENOSYS;
    return false;
}

} // namespace

StagedFile::~StagedFile() = default;

StagedFile::StagedFile(StagedFile&& other) noexcept
    : dirFd_(std::exchange(other.dirFd_, -1)), folder_(std::move(other.folder_)),
      name_(std::move(other.name_)), fileFd_(std::exchange(other.fileFd_, -1)) {}

StagedFile& StagedFile::operator=(StagedFile&& other) noexcept {
    dirFd_ = std::exchange(other.dirFd_, -1);
    folder_ = std::move(other.folder_);
    name_ = std::move(other.name_);
    fileFd_ = std::exchange(other.fileFd_, -1);
    return *this;
}

void StagedFile::release() {}

std::string StagedFile::path() const {
    return folder_ + name_;
}

StagedFile StagedFile::hardLink(const std::string&, const std::string&, int* error) {
    refuse(error);
    return {};
}

StagedFile StagedFile::clone(const std::string&, const std::string&, FileStatus&, FileStatus&,
                             int* error) {
    refuse(error);
    return {};
}

bool StagedFile::status(FileStatus&, int* error) const {
    return refuse(error);
}

bool StagedFile::copyMetadata(const std::string&, FileStatus&, int* error) {
    return refuse(error);
}

bool StagedFile::renameOver(const std::string&, uint64_t*, int* error) {
    return refuse(error);
}

bool StagedFile::discard(int* error) {
    return refuse(error);
}

} // namespace pelidor::platform
