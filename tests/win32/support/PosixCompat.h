// Included first in every Windows test program: the few C library calls the shared test
// helpers use that the Windows C library names differently.
#pragma once

#if defined(_WIN32)
#include <cstdlib>
#include <ctime>

inline int setenv(const char* name, const char* value, int overwrite) {
    if (overwrite == 0 && std::getenv(name) != nullptr)
        return 0;
    return ::_putenv_s(name, value);
}

inline int unsetenv(const char* name) {
    return ::_putenv_s(name, ""); // an empty value removes the variable
}
#endif
