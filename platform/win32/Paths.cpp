#include "platform/Paths.h"

#include <windows.h>

#include "platform/win32/WinText.h"

namespace pelidor::platform {

int comparePathText(std::string_view a, std::string_view b) {
    const std::wstring wa = win32::toWide(a);
    const std::wstring wb = win32::toWide(b);
    const int r = CompareStringOrdinal(wa.c_str(), static_cast<int>(wa.size()), wb.c_str(),
                                       static_cast<int>(wb.size()), TRUE);
    return r == CSTR_LESS_THAN ? -1 : r == CSTR_GREATER_THAN ? 1 : 0;
}

} // namespace pelidor::platform
