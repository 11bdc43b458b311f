// The graph window: creation beside the main window, closing, sampling of new frames, the
// pace of its repaints, and the 記録 switch with the recorder's state.
#include "mainwindow/graph_window.h"

#include <algorithm>
#include <ctime>
#include <string>

#include "analysis/walk_state.h"
#include "link/stream_recorder.h"
#include "mainwindow/ui_strings.h"
#include "output/walk_axes.h"

namespace s = ui_strings;

namespace {
// Where the switch puts recordings, in the working folder.
constexpr const char* kRecordingsFolder = "recordings";
}  // namespace

GraphWindow::~GraphWindow() {
    if (hwnd != 0) ws().destroyWindow(hwnd);
}

GraphWindow::Thresholds GraphWindow::thresholdsOf(const WalkState& state) {
    return {state.walkFThreshold, state.thresholdL, state.thresholdFL, state.thresholdFR,
            state.thresholdR};
}

platform::Point GraphWindow::placeBeside(platform::Rect work, platform::Rect main,
                                         platform::Rect keepClear, platform::Size size) {
    constexpr std::int32_t kGap = 10;
    auto overlap = [](const platform::Rect& a, const platform::Rect& b) -> std::int64_t {
        const std::int64_t w = std::min(a.right, b.right) - std::max(a.left, b.left);
        const std::int64_t h = std::min(a.bottom, b.bottom) - std::max(a.top, b.top);
        return w > 0 && h > 0 ? w * h : 0;
    };
    auto clampX = [&](std::int32_t x) {
        return std::clamp(x, work.left, std::max(work.left, work.right - size.cx));
    };
    auto clampY = [&](std::int32_t y) {
        return std::clamp(y, work.top, std::max(work.top, work.bottom - size.cy));
    };
    const std::int32_t xs[] = {main.right + kGap, main.left - kGap - size.cx, main.left,
                               work.right - size.cx, work.left};
    const std::int32_t ys[] = {main.top, main.bottom + kGap, main.top - kGap - size.cy, work.top,
                               work.bottom - size.cy};
    platform::Point best{clampX(xs[0]), clampY(ys[0])};
    std::int64_t bestCost = -1;
    for (std::int32_t y : ys) {
        for (std::int32_t x : xs) {
            const platform::Point at{clampX(x), clampY(y)};
            const platform::Rect r{at.x, at.y, at.x + size.cx, at.y + size.cy};
            const std::int64_t cost = 16 * overlap(r, keepClear) + overlap(r, main);
            if (bestCost < 0 || cost < bestCost) {
                best = at;
                bestCost = cost;
            }
        }
    }
    return best;
}

void GraphWindow::create(platform::NativeInstance instance, platform::NativeWindow beside,
                         platform::Rect keepClear) {
    const platform::Point at =
        placeBeside(ws().workArea(), ws().windowRect(beside), keepClear, {kWidth, kHeight});
    const std::int32_t x = at.x, y = at.y;
    createMainWindow(instance, 101, platform::kIdcArrow, kBackground, s::kGraphClassName,
                     s::kGraphTitle, kStyle, x, y, kWidth, kHeight);
    if (hwnd == 0) return;
    // Its own tracking notifications reach its onCommand as codes 0 to 7, which it ignores.
    id = 0;
    recordButton.create(kRecordToggle, s::kRecord, hwnd, hwnd, instance, kRecordButtonWidth, 9);
    recordText.create(0, s::kRecordIdle, hwnd, hwnd, instance, kRecordTextWidth, 17);
    recordText.textColour = kGrey;
    plot.hwnd = createBoundChildWindow(&plot, s::kGraphPlotClassName, hwnd, instance,
                                       kPlotArea.left, kPlotArea.top, kPlotArea.width(),
                                       kPlotArea.height(), kBackground, /*doubleBuffered=*/true);
    ws().showWindow(plot.hwnd, platform::kSwShow);
    ws().moveWindow(recordButton.hwnd, kRecordButtonAt.x, kRecordButtonAt.y);
    ws().moveWindow(recordText.hwnd, kRecordTextAt.x, kRecordTextAt.y);
    ws().moveWindow(plot.hwnd, kPlotArea.left, kPlotArea.top);
}

void GraphWindow::open(platform::NativeInstance instance, platform::NativeWindow beside,
                       platform::Rect keepClear) {
    if (hwnd == 0) create(instance, beside, keepClear);
    if (hwnd == 0) return;
    // What was kept before the window was last closed is stale: start afresh.
    first_ = count_ = 0;
    haveFrames_ = false;
    newSamples_ = false;
    painted_ = false;
    recordGeneration_ = StreamRecorder::instance().generation() - 1;
    ws().showWindow(hwnd, platform::kSwShow);
    shown = true;
    refresh();
}

void GraphWindow::close() {
    if (hwnd == 0) return;
    ws().showWindow(hwnd, platform::kSwHide);
    shown = false;
}

void GraphWindow::onClose() {
    close();
}

void GraphWindow::sample(const WalkState& state, std::uint32_t frames, Clock::time_point now) {
    if (!shown) return;
    if (haveFrames_ && frames == lastFrames_) return;
    haveFrames_ = true;
    lastFrames_ = frames;
    Sample& s = samples_[(first_ + count_) % kCapacity];
    if (count_ < kCapacity) {
        ++count_;
    } else {
        first_ = (first_ + 1) % kCapacity;
    }
    s.time = now;
    s.lowerMovingAverage = state.lowerMovingAverage;
    s.angle = state.angle;
    s.numStep = state.numStep;
    s.walking = state.walking == 1;
    s.gameStarted = gameStartPending_;
    gameStartPending_ = false;
    s.cadence = state.cadence;
    s.forward = walkAxesOf(state).vertical;
    newSamples_ = true;
}

void GraphWindow::refresh(Clock::time_point now) {
    if (!shown) return;
    if (StreamRecorder::instance().generation() != recordGeneration_) showRecordStatus();
    const Thresholds thresholds = thresholdsOf(WalkState::instance());
    const bool settingsMoved = !painted_ || !(thresholds == paintedThresholds_);
    // Also after the frames stop, until the last samples have scrolled out of the span.
    const bool scrolling = count_ > 0 && now - sampleAt(count_ - 1).time <= kSpan + kGap;
    const bool due = now - lastPaint_ >= kRepaintPeriod && (newSamples_ || scrolling);
    if (settingsMoved || due) repaint(now);
}

void GraphWindow::repaint(Clock::time_point now) {
    paintTime_ = now;
    lastPaint_ = now;
    newSamples_ = false;
    painted_ = true;
    paintedThresholds_ = thresholdsOf(WalkState::instance());
    ws().invalidate(plot.hwnd, false);
    ws().update(plot.hwnd);
}

void GraphWindow::onCommand(platform::WParam wParam, platform::LParam) {
    if (platform::loWord(wParam) != kRecordToggle) return;
    StreamRecorder& recorder = StreamRecorder::instance();
    if (recorder.status().recording) {
        recorder.stop();
    } else {
        recorder.start(timestampedRecordingPath(kRecordingsFolder, std::time(nullptr)),
                       /*createFolders=*/true);
    }
    showRecordStatus();
}

void GraphWindow::showRecordStatus() {
    recordGeneration_ = StreamRecorder::instance().generation();
    const StreamRecorder::Status status = StreamRecorder::instance().status();
    std::string text;
    platform::Colour colour = kWhite;
    if (status.recording) {
        text = std::string(s::kRecording) + status.path;
        colour = kCyan;
    } else if (!status.failure.empty()) {
        text = std::string(s::kRecordFailed) + status.path + ": " + status.failure;
    } else if (!status.path.empty()) {
        text = std::string(s::kRecordSaved) + status.path;
    } else {
        text = s::kRecordIdle;
        colour = kGrey;
    }
    if (status.dropped > 0) {
        text += std::string(s::kRecordLost) + std::to_string(status.dropped) + s::kBytes;
    }
    if (text == recordText.text && colour == recordText.textColour) return;
    recordText.text = text;
    recordText.textColour = colour;
    ws().invalidate(recordText.hwnd, true);
    ws().update(recordText.hwnd);
}
