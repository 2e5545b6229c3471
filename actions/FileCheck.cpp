#include "actions/FileCheck.h"

#include "engine/uSearchHolper.h"
#include "platform/FileSystem.h"

#include <cerrno>

namespace pelidor {

TFileCheck CheckFileUnchanged(const TDuplicateFile& Record, int& Error) {
    Error = 0;
    platform::FileStatus now;
    int error = 0;
    if (!platform::statPath(Record.FileName, now, &error)) {
        Error = error != 0 ? error : EIO;
        return error == ENOENT || error == ENOTDIR ? TFileCheck::Missing : TFileCheck::Failed;
    }
    switch (now.kind) {
    case platform::EntryKind::Symlink:
        return TFileCheck::ReplacedByLink;
    case platform::EntryKind::Directory:
        // Deleting a file never removes a folder; the system's own words say why.
        Error = EISDIR;
        return TFileCheck::Failed;
    case platform::EntryKind::Regular:
        break;
    case platform::EntryKind::Unknown:
    case platform::EntryKind::Other:
        return TFileCheck::Changed;
    }
    const bool same = now.size == Record.FileSize && now.mtimeSec == Record.MTimeSec &&
                      now.mtimeNsec == Record.MTimeNsec && now.device == Record.Device &&
                      now.inode == Record.Inode;
    return same ? TFileCheck::Unchanged : TFileCheck::Changed;
}

} // namespace pelidor
