// Accessibility of the toolkit's painted controls (see OrlaAccessible.cpp). Installed
// once per process; the controls install it when the first one is made.
#pragma once

namespace pelidor {

void InstallOrlaAccessibility();

} // namespace pelidor
