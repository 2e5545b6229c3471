#include "shell/RunElevatedSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <unistd.h>
#include <vector>

namespace pelidor {
namespace {

TEST(Elevation, DecisionTable) {
    const struct {
        bool member;
        bool enabled;
        TElevationDecision decision;
    } rows[] = {
        {false, false, TElevationDecision::RunNormally},
        {false, true, TElevationDecision::RunNormally},
        {true, true, TElevationDecision::RunNormally},
        {true, false, TElevationDecision::RelaunchElevated},
    };
    for (const auto& r : rows)
        EXPECT_EQ(DecideElevation(r.member, r.enabled), r.decision)
            << "member " << r.member << " enabled " << r.enabled;
}

// The start-up step with fake answers: what is asked, and in which order the guard
// is released and the relaunch started.
TEST(Elevation, StartupStepWithFakes) {
    const struct {
        bool member;
        bool enabled;
        bool ends;
        std::vector<std::string> calls;
    } rows[] = {
        {false, false, false, {"member"}},
        {false, true, false, {"member"}},
        {true, true, false, {"member", "token"}},
        {true, false, true, {"member", "token", "release", "relaunch"}},
    };
    for (const auto& r : rows) {
        std::vector<std::string> calls;
        TElevationSupport fake;
        fake.isAdminGroupMember = [&] {
            calls.push_back("member");
            return r.member;
        };
        fake.isAdminTokenEnabled = [&] {
            calls.push_back("token");
            return r.enabled;
        };
        fake.releaseInstance = [&] { calls.push_back("release"); };
        fake.runElevated = [&] { calls.push_back("relaunch"); };
        EXPECT_EQ(RelaunchElevatedIfNeeded(fake), r.ends);
        EXPECT_EQ(calls, r.calls) << "member " << r.member << " enabled " << r.enabled;
    }
}

TEST(Elevation, RealAnswersAgreeSoTheProgramNeverRelaunches) {
    const bool root = ::geteuid() == 0;
    EXPECT_EQ(IsAdminGroupMember(), root);
    EXPECT_EQ(IsAdminTokenEnabled(), root);
    bool relaunched = false;
    TElevationSupport real;
    real.runElevated = [&] { relaunched = true; };
    EXPECT_FALSE(RelaunchElevatedIfNeeded(real));
    EXPECT_FALSE(relaunched);
    EXPECT_FALSE(RunElevated("", 0));
}

} // namespace
} // namespace pelidor
