// The results list as assistive technology sees it: a table whose rows are the files,
// with a column header row. The check box cell of a row (column 0) is a check box (role
// and checkable state) with one action, "Toggle", which ticks or unticks the row exactly
// as a click on its box does (through the model's setData, so the same rules hold: a
// reference row has no box and no action, and the window hears rowChecked).
//
// The child order is that of Qt's own tree views, so the view's focus and selection
// events name the right child: the header cells first (columns 0 to n-1), then the cells
// row by row.
#pragma once

namespace pelidor {

// Installed once per process; the results view installs it when the first one is made.
void InstallResultsAccessibility();

} // namespace pelidor
