// Administrator rights at start-up. A process holds administrator rights exactly
// when its effective user is root: there is no split token that an administrator
// could start with, so the two tests below always agree and the program never
// relaunches itself. The decision is kept as written so that it can be tested with
// fake answers.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace pelidor {

// True when the user is an administrator, whether or not the rights are in use.
bool IsAdminGroupMember();
// True when the process actually holds administrator rights.
bool IsAdminTokenEnabled();
// Starts the program again with administrator rights. There is no elevation
// prompt to ask for here, so nothing is started and the result is false.
bool RunElevated(const std::string& Params, uintptr_t Owner);

enum class TElevationDecision { RunNormally, RelaunchElevated };

// The start-up rule: an administrator who runs without administrator rights gets
// the program relaunched with them; everybody else runs it as started.
TElevationDecision DecideElevation(bool adminGroupMember, bool adminTokenEnabled);

// What start-up uses to apply the rule; tests hand in fakes.
struct TElevationSupport {
    std::function<bool()> isAdminGroupMember = IsAdminGroupMember;
    std::function<bool()> isAdminTokenEnabled = IsAdminTokenEnabled;
    // Lets go of the single-instance guard, so that the relaunched copy does not
    // take its launcher for a running instance.
    std::function<void()> releaseInstance = [] {};
    std::function<void()> runElevated = [] { RunElevated({}, 0); };
};

// Applies the rule: asks about the token only for an administrator, and when a
// relaunch is due releases the instance guard, relaunches and returns true (the
// caller then ends, whatever became of the relaunch).
bool RelaunchElevatedIfNeeded(const TElevationSupport& support = {});

} // namespace pelidor
