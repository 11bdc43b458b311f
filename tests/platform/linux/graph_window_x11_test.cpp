// The graph window painted by the X11 window system on a private Xvfb, read back from the
// screen at known values: the walking threshold's line at its computed row, the bands of the
// emulation rows in their colours, the newest sample at the right edge and the oldest at its
// age, the walking period, the step mark, and the loads laid out like the sensors.
// GoogleTest before Xlib: Xlib defines macros such as None and Bool.
#include <gtest/gtest.h>
// clang-format off
#include <X11/Xlib.h>
// clang-format on

#include <chrono>
#include <cmath>
#include <memory>

#include "analysis/walk_state.h"
#include "mainwindow/graph_window.h"
#include "output/walk_row.h"
#include "tests/support/default_settings.h"
#include "tests/support/x_session.h"

using namespace std::chrono_literals;
using uitest::Rgb;
using Clock = GraphWindow::Clock;

namespace {

Rgb rgbOf(platform::Colour c) {
    return {static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF),
            static_cast<int>((c >> 16) & 0xFF)};
}

// Rows and columns as a reader of the graph computes them from its scales: the load panel
// (rows 20 to 129) runs from 0 to 1.0, the angle panel (rows 174 to 333) from +50 down to
// -50, and the ten seconds end at column 549 with 499 columns before it.
int loadRow(double value) {
    return 20 + static_cast<int>(std::lround((1.0 - value) * 109));
}
int angleRow(double angle) {
    return 174 + static_cast<int>(std::lround((50.0 - angle) / 100.0 * 159));
}
int columnAt(double ageSeconds) {
    return 549 - static_cast<int>(std::lround(ageSeconds / 10.0 * 499));
}

TEST(GraphWindowX11, PaintsItsKnownValuesWhereAndHowTheyBelong) {
    uitest::XSession session;
    ASSERT_TRUE(session.ok());
    std::unique_ptr<platform::WindowSystem> backend = platform::createNativeWindowSystem();
    ASSERT_TRUE(backend->available());
    platform::WindowSystem* previous = platform::setWindowSystem(backend.get());

    WalkState& state = WalkState::instance();
    state = testsupport::defaultSettings();
    state.walkFThreshold = 0.4f;
    state.thresholdL = -30.0f;
    state.thresholdFL = -15.0f;
    state.thresholdFR = 15.0f;
    state.thresholdR = 30.0f;
    for (float& max : state.loadMax) max = 10.0f;
    state.taredLoad[6] = 10.0f;  // sensor 6 at its maximum, the others empty
    state.walking = 0;

    {
        GraphWindow graph;
        graph.open(0, 0);
        ASSERT_NE(graph.plot.hwnd, 0u);
        // Three seconds at 100 frames a second: walking from 2 s to 1 s ago, a step 1.5 s
        // ago, straight ahead throughout, and the newest frame at 40 degrees.
        const Clock::time_point t0 = Clock::now() + 1h;
        for (int i = 0; i <= 300; ++i) {
            state.lowerMovingAverage = 0.8f;
            state.angle = i == 300 ? 40.0f : 0.0f;
            state.walking = i >= 100 && i < 200 ? 1 : 0;
            state.numStep = i >= 150 ? 1 : 0;
            graph.sample(state, static_cast<std::uint32_t>(i + 1), t0 + i * 10ms);
        }
        state.walking = 0;
        graph.refresh(t0 + 3000ms);

        const auto [x0, y0] = session.origin(graph.plot.hwnd);
        auto at = [&](int x, int y) { return session.pixel(x0 + x, y0 + y); };
        const Rgb cyan{0, 255, 255};
        const Rgb white{255, 255, 255};
        const Rgb panel = rgbOf(GraphWindow::kPanel);
        // The picture lands whole, once the server has mapped the window.
        for (int tries = 0; tries < 200 && at(100, loadRow(0.6)) != cyan; ++tries) {
            platform::Message m;
            while (backend->peekMessage() && backend->getMessage(m)) backend->dispatchMessage(m);
            backend->waitMessage(10);
        }

        // 0.4 on the scale: row 85 across the panel, nothing on the rows beside it.
        EXPECT_EQ(loadRow(0.4), 85);
        EXPECT_EQ(at(100, 85), cyan);
        EXPECT_EQ(at(100, 83), panel);
        EXPECT_EQ(at(100, 87), panel);

        // The five bands between the thresholds, where no sample is drawn.
        const struct {
            double angle;
            WalkRow row;
        } bands[] = {{40, WalkRow::SidewaysRight},
                     {22, WalkRow::FrontRight},
                     {0, WalkRow::Straight},
                     {-22, WalkRow::FrontLeft},
                     {-40, WalkRow::SidewaysLeft}};
        for (const auto& band : bands) {
            EXPECT_EQ(at(100, angleRow(band.angle)),
                      rgbOf(GraphWindow::kBands[static_cast<int>(band.row)]))
                << band.angle << " degrees";
        }

        // The newest frame at the right edge, in the colour of its row; nothing beyond it.
        EXPECT_EQ(at(549, angleRow(40)),
                  rgbOf(GraphWindow::kTraces[static_cast<int>(WalkRow::SidewaysRight)]));
        EXPECT_EQ(at(550, angleRow(40)), rgbOf(GraphWindow::kBackground));
        EXPECT_EQ(at(549, loadRow(0.8)), white);
        // The oldest, three seconds back, and nothing older.
        EXPECT_EQ(columnAt(3.0), 399);
        EXPECT_EQ(at(399, loadRow(0.8)), white);
        EXPECT_EQ(at(397, loadRow(0.8)), panel);
        EXPECT_EQ(at(420, angleRow(0)),
                  rgbOf(GraphWindow::kTraces[static_cast<int>(WalkRow::Straight)]));

        // Walking from 2 s to 1 s ago, shaded below the trace; the step 1.5 s ago.
        EXPECT_EQ(at(columnAt(1.5), 110), rgbOf(GraphWindow::kWalkingShade));
        EXPECT_EQ(at(columnAt(2.5), 110), panel);
        EXPECT_EQ(at(columnAt(0.5), 110), panel);
        EXPECT_EQ(at(columnAt(1.5), 141), cyan);
        EXPECT_EQ(at(columnAt(1.2), 141), panel);

        // Loads laid out like the sensors: 6 is the upper row's fourth, full; 1 the lower
        // row's first, empty.
        EXPECT_EQ(at(580 + 3 * 28 + 10, 22 + 5), white);
        EXPECT_EQ(at(580 + 0 * 28 + 10, 100 + 55), panel);
        EXPECT_EQ(at(580 + 0 * 28 + 10, 22 + 55), panel);
    }
    platform::setWindowSystem(previous);
}

}  // namespace
