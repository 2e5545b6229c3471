// The status of an open Windows handle, shared by the file routines of this folder.
#pragma once

#include <windows.h>

#include "platform/FileSystem.h"

namespace pelidor::platform::win32 {

// The handle's status as the rest of the program reads it (FILE_ATTRIBUTE_REPARSE_POINT
// kept for links only), and when `raw` is given the handle's information; false when
// the system gives none.
bool statHandle(HANDLE h, FileStatus& out, BY_HANDLE_FILE_INFORMATION* raw = nullptr);

} // namespace pelidor::platform::win32
