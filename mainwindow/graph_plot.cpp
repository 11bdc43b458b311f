// The graph window's picture: the lower moving average with the walking threshold and the
// walking periods, the step marks, the angle over the bands of the emulation rows, the cadence
// and the forward output, the eight loads laid out like the sensors, and the direction as an
// arrow.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <span>
#include <string_view>

#include "analysis/walk_state.h"
#include "mainwindow/graph_window.h"
#include "mainwindow/ui_strings.h"
#include "output/walk_axes.h"
#include "output/walk_row.h"

namespace s = ui_strings;
using platform::PaintContext;
using platform::Point;
using platform::Rect;

namespace {

constexpr std::int32_t kHeadingFont = 16;
constexpr std::int32_t kTickFont = 12;

// The row of a value between `low` (at the bottom) and `high` (at the top) of a panel,
// clamped to the panel; NaN (a setting read as "nan") lies at the bottom.
std::int32_t rowOf(const Rect& panel, double value, double low, double high) {
    double fraction = (high - value) / (high - low);
    fraction = std::isnan(fraction) ? 1.0 : std::clamp(fraction, 0.0, 1.0);
    return panel.top + static_cast<std::int32_t>(std::lround(fraction * (panel.height() - 1)));
}

std::int32_t loadRow(float value, double top) {
    return rowOf(GraphWindow::kLoadPanel, value, 0.0, top);
}

std::int32_t angleRow(float angle) {
    return rowOf(GraphWindow::kAnglePanel, angle, -GraphWindow::kAngleLimit,
                 GraphWindow::kAngleLimit);
}

void text(PaintContext context, std::int32_t x, std::int32_t y, const char* string,
          std::int32_t height, platform::Colour colour) {
    ws().textOut(context, x, y, std::string_view(string, std::strlen(string)), height, colour,
                 GraphWindow::kBackground);
}

// Text that ends at `right`.
void textRight(PaintContext context, std::int32_t right, std::int32_t y, const char* string,
               std::int32_t height, platform::Colour colour) {
    const std::string_view view(string, std::strlen(string));
    text(context, right - ws().textExtent(context, view, height).cx, y, string, height, colour);
}

void line(PaintContext context, Point from, Point to, platform::Colour colour) {
    const Point points[2] = {from, to};
    ws().polyline(context, points, colour);
}

}  // namespace

void GraphPlot::onPaint() {
    const PaintContext context = ws().beginPaint(hwnd);
    graph_.paintPlot(context);
    ws().endPaint(hwnd, context);
}

bool GraphWindow::xOf(const Sample& sample, std::int32_t& x) const {
    const Clock::duration age = std::max(paintTime_ - sample.time, Clock::duration::zero());
    if (age > kSpan) return false;
    const double fraction = std::chrono::duration<double>(age) / kSpan;
    x = kLoadPanel.right - 1 -
        static_cast<std::int32_t>(std::lround(fraction * (kLoadPanel.width() - 1)));
    return true;
}

void GraphWindow::flushLine(PaintContext context, std::size_t& n, platform::Colour colour) {
    // A lone point shows as a dot reaching one pixel back, so that the newest stays inside.
    if (n == 1) points_[n++] = {points_[0].x - 1, points_[0].y};
    if (n > 0) ws().polyline(context, std::span(points_.data(), n), colour);
    n = 0;
}

void GraphWindow::paintPlot(PaintContext context) {
    const WalkState& state = WalkState::instance();
    paintLoadPanel(context, state);
    paintAnglePanel(context, state);
    paintSensors(context, state);
    paintSpeedPanel(context, state);
    // The time axis under the angle panel and under the speed panel.
    for (const std::int32_t y : {kAnglePanel.bottom + 4, kSpeedPanel.bottom + 4}) {
        text(context, kAnglePanel.left, y, s::kGraphTimeTicks[0], kTickFont, kGrey);
        text(context, (kAnglePanel.left + kAnglePanel.right) / 2 - 8, y, s::kGraphTimeTicks[1],
             kTickFont, kGrey);
        textRight(context, kAnglePanel.right, y, s::kGraphTimeTicks[2], kTickFont, kGrey);
    }
}

void GraphWindow::paintSpeedPanel(PaintContext context, const WalkState& state) {
    const Rect& panel = kSpeedPanel;
    // The headings with the current values, each in its trace's colour.
    char value[48];
    const std::int32_t top = panel.top - 20;
    std::snprintf(value, sizeof value, "%s%.1f", s::kGraphCadence,
                  static_cast<double>(state.cadence));
    text(context, 10, top, value, kHeadingFont, kCadenceTrace);
    std::snprintf(value, sizeof value, "%s%.3f", s::kGraphForward,
                  static_cast<double>(walkAxesOf(state).vertical));
    text(context, 260, top, value, kHeadingFont, kForwardTrace);
    const std::int32_t rows[3] = {panel.top, (panel.top + panel.bottom) / 2 - 6, panel.bottom - 12};
    for (int i = 0; i < 3; ++i) {
        textRight(context, panel.left - 4, rows[i], s::kGraphCadenceTicks[i], kTickFont,
                  kCadenceTrace);
        text(context, panel.right + 4, rows[i], s::kGraphForwardTicks[i], kTickFont, kForwardTrace);
    }
    ws().fillRect(context, panel, kPanel);
    // Where the curve starts and ends rising: walkCadence and runCadence.
    for (const float cadence : {state.walkCadence, state.runCadence}) {
        const std::int32_t y = rowOf(panel, cadence, 0.0, kCadenceTop);
        ws().fillRect(context, {panel.left, y, panel.right, y + 1}, kGrey);
    }
    paintSpeedTrace(context, &Sample::cadence, kCadenceTop, kCadenceTrace);
    paintSpeedTrace(context, &Sample::forward, 1.0, kForwardTrace);
}

void GraphWindow::paintSpeedTrace(PaintContext context, float Sample::*value, double top,
                                  platform::Colour colour) {
    std::size_t n = 0;
    const Sample* last = nullptr;
    for (std::size_t i = 0; i < count_; ++i) {
        const Sample& sample = sampleAt(i);
        std::int32_t x = 0;
        if (!xOf(sample, x)) continue;
        if (n > 0 && sample.time - last->time > kGap) flushLine(context, n, colour);
        points_[n++] = {x, rowOf(kSpeedPanel, sample.*value, 0.0, top)};
        last = &sample;
    }
    flushLine(context, n, colour);
}

double GraphWindow::loadTop(const WalkState& state) const {
    double highest = std::isfinite(state.walkFThreshold) ? state.walkFThreshold : 0.0;
    for (std::size_t i = 0; i < count_; ++i) {
        const Sample& sample = sampleAt(i);
        std::int32_t x = 0;
        if (xOf(sample, x) && std::isfinite(sample.lowerMovingAverage)) {
            highest = std::max<double>(highest, sample.lowerMovingAverage);
        }
    }
    return std::clamp(std::ceil(highest * 2.0) / 2.0, kLoadTopMin, kLoadTopMax);
}

void GraphWindow::paintLoadPanel(PaintContext context, const WalkState& state) {
    const double top = loadTop(state);
    char tick[16];
    text(context, 10, 0, s::kGraphLowerMovingAverage, kHeadingFont, kWhite);
    text(context, 230, 0, s::kGraphWalkFThreshold, kHeadingFont, kCyan);
    ws().fillRect(context, {380, 3, 392, 15}, kWalkingShade);
    text(context, 396, 0, s::kGraphWalking, kHeadingFont, kWhite);
    // The scale's ends inside the panel's height, its middle centred on its row.
    std::snprintf(tick, sizeof tick, "%.1f", top);
    textRight(context, kLoadPanel.left - 4, kLoadPanel.top, tick, kTickFont, kGrey);
    std::snprintf(tick, sizeof tick, "%.2f", top / 2.0);
    textRight(context, kLoadPanel.left - 4, loadRow(static_cast<float>(top / 2.0), top) - 6, tick,
              kTickFont, kGrey);
    textRight(context, kLoadPanel.left - 4, kLoadPanel.bottom - 12, "0", kTickFont, kGrey);
    text(context, kStepStrip.left - 18, kStepStrip.top, s::kStepUnit, kTickFont + 2, kGrey);
    ws().fillRect(context, kLoadPanel, kPanel);
    ws().fillRect(context, kStepStrip, kPanel);

    // The walking periods, then the steps counted within the span.
    std::int32_t runStart = -1;
    std::int32_t runEnd = -1;
    const Sample* previous = nullptr;
    for (std::size_t i = 0; i < count_; ++i) {
        const Sample& sample = sampleAt(i);
        std::int32_t x = 0;
        const bool inSpan = xOf(sample, x);
        if (inSpan && sample.walking) {
            if (runStart < 0) runStart = x;
            runEnd = x;
        }
        if (runStart >= 0 && (!inSpan || !sample.walking || i + 1 == count_)) {
            ws().fillRect(context, {runStart, kLoadPanel.top, runEnd + 1, kLoadPanel.bottom},
                          kWalkingShade);
            runStart = -1;
        }
        if (inSpan && sample.gameStarted) {
            ws().fillRect(context, {x, kLoadPanel.top, x + 2, kLoadPanel.bottom}, kGameStart);
        }
        if (inSpan && previous != nullptr && sample.numStep > previous->numStep) {
            ws().fillRect(context, {x - 1, kStepStrip.top, x + 2, kStepStrip.bottom}, kCyan);
        }
        previous = &sample;
    }

    // The threshold across, then the trace over it.
    const std::int32_t threshold = loadRow(state.walkFThreshold, top);
    ws().fillRect(context, {kLoadPanel.left, threshold, kLoadPanel.right, threshold + 1}, kCyan);
    std::size_t n = 0;
    const Sample* last = nullptr;
    for (std::size_t i = 0; i < count_; ++i) {
        const Sample& sample = sampleAt(i);
        std::int32_t x = 0;
        const bool drawable = xOf(sample, x) && !std::isnan(sample.lowerMovingAverage);
        if (n > 0 && (!drawable || sample.time - last->time > kGap)) {
            flushLine(context, n, kWhite);
        }
        if (!drawable) continue;
        points_[n++] = {x, loadRow(sample.lowerMovingAverage, top)};
        last = &sample;
    }
    flushLine(context, n, kWhite);
}

void GraphWindow::paintAnglePanel(PaintContext context, const WalkState& state) {
    const WalkThresholds thresholds = walkThresholdsOf(state);
    const WalkRow current = walkRowOf(state);
    const std::int32_t top = kAnglePanel.top - 20;
    text(context, 10, top, s::kGraphAngle, kHeadingFont, kWhite);
    // The bands' names, each in its band's colour; the current band's name in white.
    for (int row = 0; row < 5; ++row) {
        // Left to right as the bands lie: left sideways, front left, straight, front right,
        // right sideways.
        static constexpr WalkRow kOrder[5] = {WalkRow::SidewaysLeft, WalkRow::FrontLeft,
                                              WalkRow::Straight, WalkRow::FrontRight,
                                              WalkRow::SidewaysRight};
        const WalkRow r = kOrder[row];
        const auto index = static_cast<int>(r);
        const std::int32_t x = 120 + row * 86;
        ws().fillRect(context, {x, top + 3, x + 12, top + 15}, kTraces[index]);
        text(context, x + 15, top + 2, s::kGraphRows[row], kTickFont,
             r == current ? kWhite : kGrey);
    }
    textRight(context, kAnglePanel.left - 4, kAnglePanel.top, s::kGraphAngleTicks[0], kTickFont,
              kGrey);
    textRight(context, kAnglePanel.left - 4, angleRow(0.0f) - 6, s::kGraphAngleTicks[1], kTickFont,
              kGrey);
    textRight(context, kAnglePanel.left - 4, kAnglePanel.bottom - 12, s::kGraphAngleTicks[2],
              kTickFont, kGrey);

    // The five bands, from the top (right sideways) down; a band's rows end where the next
    // threshold's row begins.
    const std::int32_t rightRow = angleRow(thresholds.right);
    const std::int32_t frontRightRow = angleRow(thresholds.frontRight);
    const std::int32_t frontLeftRow = angleRow(thresholds.frontLeft) + 1;
    const std::int32_t leftRow = angleRow(thresholds.left) + 1;
    const std::int32_t edges[6] = {kAnglePanel.top, rightRow, frontRightRow,
                                   frontLeftRow,    leftRow,  kAnglePanel.bottom};
    const WalkRow bandRows[5] = {WalkRow::SidewaysRight, WalkRow::FrontRight, WalkRow::Straight,
                                 WalkRow::FrontLeft, WalkRow::SidewaysLeft};
    for (int band = 0; band < 5; ++band) {
        const std::int32_t from = std::clamp(edges[band], kAnglePanel.top, kAnglePanel.bottom);
        const std::int32_t to = std::clamp(edges[band + 1], from, kAnglePanel.bottom);
        if (to > from) {
            ws().fillRect(context, {kAnglePanel.left, from, kAnglePanel.right, to},
                          kBands[static_cast<int>(bandRows[band])]);
        }
    }

    // The trace, each stretch in the colour of the row its samples fall in: the row that the
    // key emulation and the OSC output take for that angle under the current thresholds.
    std::size_t n = 0;
    WalkRow runRow = WalkRow::Straight;
    const Sample* last = nullptr;
    auto flush = [&] { flushLine(context, n, kTraces[static_cast<int>(runRow)]); };
    for (std::size_t i = 0; i < count_; ++i) {
        const Sample& sample = sampleAt(i);
        std::int32_t x = 0;
        if (!xOf(sample, x)) continue;
        const WalkRow row = walkRowOf(sample.angle, thresholds);
        // NaN takes the straight row, drawn on the middle line.
        const Point point{x, angleRow(std::isnan(sample.angle) ? 0.0f : sample.angle)};
        if (n > 0 && sample.time - last->time > kGap) flush();
        if (n > 0 && row != runRow) {
            // The step into the new row closes the old stretch.
            points_[n++] = point;
            flush();
        }
        if (n == 0) runRow = row;
        points_[n++] = point;
        last = &sample;
    }
    flush();
}

void GraphWindow::paintSensors(PaintContext context, const WalkState& state) {
    const bool walking = state.walking == 1;
    text(context, kBarsLeft - 5, 0, s::kSensorValues, kHeadingFont, kWhite);
    // Upper row: sensors 0, 2, 4, 6; lower row: 1, 3, 5, 7, as in the main window.
    for (int i = 0; i < 8; ++i) {
        const std::int32_t left = kBarsLeft + (i / 2) * kBarPitch;
        const std::int32_t top = i % 2 == 0 ? kUpperBarsTop : kLowerBarsTop;
        const float normalised = state.taredLoad[i] / state.loadMax[i] * 5.0f;
        const double fraction =
            std::isnan(normalised) ? 0.0 : std::clamp(normalised / 5.0, 0.0, 1.0);
        const auto filled = static_cast<std::int32_t>(std::lround(fraction * kBarHeight));
        const std::int32_t bottom = top + kBarHeight;
        ws().fillRect(context, {left, top, left + kBarWidth, bottom}, kPanel);
        ws().fillRect(context, {left, bottom - filled, left + kBarWidth, bottom},
                      walking ? kCyan : kWhite);
        const char digit[2] = {static_cast<char>('0' + i), '\0'};
        text(context, left + 6, bottom + 2, digit, kTickFont, kGrey);
    }

    // The direction: the vector of the upper loads, scaled so that one upper sensor at its
    // maximum (a vector as long as that maximum) reaches the circle's edge.
    const Point c = kArrowCentre;
    text(context, kBarsLeft - 5, c.y - kArrowRadius - 20, s::kDirection, kHeadingFont, kWhite);
    line(context, {c.x - kArrowRadius, c.y}, {c.x + kArrowRadius + 1, c.y}, kGrey);
    line(context, {c.x, c.y - kArrowRadius}, {c.x, c.y + kArrowRadius + 1}, kGrey);
    double upperMax = 0.0;
    for (int i : {0, 2, 4, 6}) upperMax += std::max(0.0f, state.loadMax[i]);
    const double reach = upperMax / 4.0;
    const double dx = state.directionX;
    const double dy = state.directionY;
    const double length = std::hypot(dx, dy);
    if (!(length > 0.0) || !(reach > 0.0) || !std::isfinite(length)) return;
    const double scale = std::min(length / reach, 1.0) * kArrowRadius / length;
    const double tx = dx * scale;
    const double ty = -dy * scale;  // ahead is up
    const Point tip{c.x + static_cast<std::int32_t>(std::lround(tx)),
                    c.y + static_cast<std::int32_t>(std::lround(ty))};
    const platform::Colour colour = walking ? kCyan : kWhite;
    line(context, c, tip, colour);
    // The head: two strokes of 8 pixels, 30 degrees off the shaft.
    const double angle = std::atan2(ty, tx);
    for (double side : {-1.0, 1.0}) {
        const double a = angle + 3.14159265359 + side * 0.5235987756;
        line(context, tip,
             {tip.x + static_cast<std::int32_t>(std::lround(8.0 * std::cos(a))),
              tip.y + static_cast<std::int32_t>(std::lround(8.0 * std::sin(a)))},
             colour);
    }
}
