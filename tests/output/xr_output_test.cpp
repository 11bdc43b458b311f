// The OpenXR layer's block as the program fills it: nothing until switched on, the walk in VR
// mode while frames arrive, zeros otherwise, and the end marked.
#include "output/xr_output.h"

#include <gtest/gtest.h>

#include "analysis/walk_state.h"
#include "platform/xr_walk_block.h"
#include "tests/support/default_settings.h"
#include "tests/support/scoped_env.h"
#include "tests/support/support.h"

namespace {

TEST(XrOutput, PublishesTheWalkInVrModeWhileFramesArriveAndZerosOtherwise) {
    testsupport::TempDir dir;
    testsupport::ScopedEnv runtime("XDG_RUNTIME_DIR", dir.path());
    WalkState s = testsupport::defaultSettings();
    s.walking = 1;  // straight ahead: forward at walkSpeedFB
    XrOutput out;
    out.update(s, 1, true);
    EXPECT_FALSE(testsupport::fileExists(dir.file("tarvel-xr-walk"))) << "made while off";

    const auto published = [] {
        return xrwalk::read(*platform::openXrWalkBlock(), platform::monotonicNanoseconds());
    };
    s.xrEnabled = 1;
    out.update(s, 2, true);
    xrwalk::Reading r = published();
    EXPECT_TRUE(r.fresh);
    EXPECT_EQ(r.axes, (xrwalk::Axes{0.25f, 0.0f, 0.0f}));
    EXPECT_EQ(r.frame, 2u);
    const struct {
        const char* why;
        std::int32_t appMode, xrEnabled;
        bool arriving;
    } zeros[] = {{"desktop mode", 1, 1, true}, {"no frames", 0, 1, false}, {"off", 0, 0, true}};
    for (const auto& z : zeros) {
        s.appMode = z.appMode;
        s.xrEnabled = z.xrEnabled;
        out.update(s, 3, z.arriving);
        r = published();
        EXPECT_TRUE(r.fresh) << z.why;
        EXPECT_EQ(r.axes, xrwalk::Axes{}) << z.why;
    }
    s = testsupport::defaultSettings();
    s.walking = 1;
    s.xrEnabled = 1;
    out.stop();
    out.update(s, 4, true);
    EXPECT_FALSE(published().fresh) << "published after the end";
}

}  // namespace
