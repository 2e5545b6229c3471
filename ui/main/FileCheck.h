// The words of the active language for the reasons the file actions give.
#pragma once

#include <QString>

#include "actions/FileCheck.h"
#include "actions/FileSteps.h"

namespace pelidor {

// The active language's reason for Changed and ReplacedByLink; empty for the others.
QString FileCheckReason(TFileCheck Check);
// The program's own reason for a failed action; empty for None and SystemError, whose
// reason is the system's text for TActionResult::error.
QString ActionProblemReason(TActionProblem Problem);

} // namespace pelidor
