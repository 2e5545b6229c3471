#include "shell/RunElevatedSupport.h"

#include "platform/System.h"

namespace pelidor {

bool IsAdminGroupMember() {
    return platform::effectiveUserIsRoot();
}

bool IsAdminTokenEnabled() {
    return platform::effectiveUserIsRoot();
}

bool RunElevated(const std::string& Params, uintptr_t Owner) {
    (void)Params;
    (void)Owner;
    return false;
}

TElevationDecision DecideElevation(bool adminGroupMember, bool adminTokenEnabled) {
    return adminGroupMember && !adminTokenEnabled ? TElevationDecision::RelaunchElevated
                                                  : TElevationDecision::RunNormally;
}

bool RelaunchElevatedIfNeeded(const TElevationSupport& support) {
    const bool member = support.isAdminGroupMember();
    // The token is only asked about for an administrator.
    const bool enabled = member && support.isAdminTokenEnabled();
    if (DecideElevation(member, enabled) != TElevationDecision::RelaunchElevated)
        return false;
    support.releaseInstance();
    support.runElevated();
    return true;
}

} // namespace pelidor
