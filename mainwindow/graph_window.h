// GraphWindow: the live graph of the walk for tuning, opened from the tray menu's "グラフ" (the
// last ten seconds of the lower moving average, the angle over the emulation's bands, the
// counted steps, the cadence and the forward output, the eight loads and the direction), with
// the 記録 switch of the recorder.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>

#include "ui/ui_widgets.h"

struct WalkState;
class GraphWindow;

// The drawing area: a double-buffered child window that paints the whole graph at once.
class GraphPlot : public UI_Window {
  public:
    explicit GraphPlot(GraphWindow& graph) : graph_(graph) {}
    void onPaint() override;

  private:
    GraphWindow& graph_;
};

class GraphWindow : public UI_Window {
  public:
    using Clock = std::chrono::steady_clock;

    // The window, fixed in size, and its parts (client coordinates).
    static constexpr std::int32_t kWidth = 720;
    static constexpr std::int32_t kHeight = 574;
    static constexpr std::uint32_t kStyle =
        platform::kWsCaption | platform::kWsSysMenu | platform::kWsMinimizeBox;
    static constexpr platform::Colour kBackground = 0x191919;
    static constexpr platform::Point kRecordButtonAt{10, 8};
    static constexpr std::int32_t kRecordButtonWidth = 50;
    static constexpr platform::Point kRecordTextAt{70, 10};
    static constexpr std::int32_t kRecordTextWidth = 630;
    static constexpr platform::Rect kPlotArea{0, 34, 700, 528};

    // Within the plot: the traces' panels, the step strip and the sensors (plot coordinates).
    // The load panel runs from 0.0 up to the smallest multiple of 0.5 that holds the
    // threshold and every value in view, at least 1.0 and at most 5.0 (a sensor at its
    // loadMax).
    static constexpr platform::Rect kLoadPanel{50, 20, 550, 130};
    static constexpr platform::Rect kStepStrip{50, 134, 550, 148};   // one mark per step
    static constexpr platform::Rect kAnglePanel{50, 174, 550, 334};  // -50 .. +50 degrees
    // The cadence (0 .. kCadenceTop steps a minute, scale on the left) and the forward output
    // (0 .. 1, scale on the right) over the same ten seconds.
    static constexpr platform::Rect kSpeedPanel{50, 376, 550, 466};
    static constexpr double kCadenceTop = 240.0;
    static constexpr double kLoadTopMin = 1.0;
    static constexpr double kLoadTopMax = 5.0;
    static constexpr float kAngleLimit = 50.0f;
    static constexpr std::int32_t kBarsLeft = 580;  // four columns of bars, kBarPitch apart
    static constexpr std::int32_t kBarPitch = 28;
    static constexpr std::int32_t kBarWidth = 20;
    static constexpr std::int32_t kBarHeight = 60;  // a load of 5.0 (its loadMax) fills it
    static constexpr std::int32_t kUpperBarsTop = 22;
    static constexpr std::int32_t kLowerBarsTop = 100;
    static constexpr platform::Point kArrowCentre{635, 275};
    static constexpr std::int32_t kArrowRadius = 60;

    // Colours (0x00BBGGRR): the main window's background and texts, the panels, the walking
    // periods, and per emulation row (indexed by WalkRow: left sideways, right sideways,
    // front left, front right, straight) its band and its trace.
    static constexpr platform::Colour kWhite = 0xFFFFFF;
    static constexpr platform::Colour kCyan = 0xFFFF00;
    static constexpr platform::Colour kGrey = 0x7D7D7D;
    static constexpr platform::Colour kPanel = 0x222222;
    static constexpr platform::Colour kWalkingShade = 0x3C3C00;
    static constexpr platform::Colour kGameStart = 0xFF00FF;
    static constexpr platform::Colour kBands[5] = {0x232355, 0x5A2841, 0x194655, 0x5A3C19,
                                                   0x284B1E};
    static constexpr platform::Colour kTraces[5] = {0x7878FF, 0xFF96D7, 0x5AD7FF, 0xFFBE6E,
                                                    0x96EB8C};
    static constexpr platform::Colour kCadenceTrace = 0x50B4FF;  // orange
    static constexpr platform::Colour kForwardTrace = 0xFFFF00;  // cyan

    // What the graph keeps of each new frame.
    struct Sample {
        Clock::time_point time;
        float lowerMovingAverage = 0.0f;
        float angle = 0.0f;
        std::int32_t numStep = 0;
        bool walking = false;
        bool gameStarted = false;  // a game began to read the walk (OpenXR) at this sample
        float cadence = 0.0f;
        float forward = 0.0f;  // the forward axis that OSC and the OpenXR block carry
    };
    // Over ten seconds at the platform's 100 frames a second, in a fixed ring.
    static constexpr std::size_t kCapacity = 2048;
    static constexpr Clock::duration kSpan = std::chrono::seconds(10);
    // Repaints for new samples come at most this often (25 a second).
    static constexpr Clock::duration kRepaintPeriod = std::chrono::milliseconds(40);
    // Samples further apart than this are not joined by a line: frames were missing.
    static constexpr Clock::duration kGap = std::chrono::milliseconds(250);

    enum Command : std::uint32_t { kRecordToggle = 200 };

    GraphWindow() : plot(*this) {}
    // Destroys the native windows, if they were made.
    ~GraphWindow();

    // Makes the window on first use (placed by placeBeside next to the window `beside`,
    // keeping `keepClear` uncovered if it can), then shows it and starts sampling afresh.
    void open(platform::NativeInstance instance, platform::NativeWindow beside,
              platform::Rect keepClear = {});
    // Where a window of `size` goes within the work area: beside `main` (right, left, below,
    // above, in that order of preference) when it fits there; else where it covers the least
    // of `keepClear` (16 times over) and of `main`. Screen coordinates.
    static platform::Point placeBeside(platform::Rect work, platform::Rect main,
                                       platform::Rect keepClear, platform::Size size);
    // Hides the window; sampling stops until it is opened again.
    void close();

    // A pass's results, kept as a sample when the link's frame count moved since the last
    // one. Nothing at all while the window is closed.
    void sample(const WalkState& state, std::uint32_t frames, Clock::time_point now);
    // A game began to read the walk: the next sample carries a mark (a magenta line).
    void markGameStart() { gameStartPending_ = true; }
    // Shows the recorder's state when it changed, and repaints the graph when thresholds
    // changed (at once) or new samples came (at most every kRepaintPeriod). Nothing while
    // closed.
    void refresh(Clock::time_point now);
    void refresh() { refresh(Clock::now()); }

    // Samples kept, oldest first.
    std::size_t sampleCount() const { return count_; }
    const Sample& sampleAt(std::size_t i) const { return samples_[(first_ + i) % kCapacity]; }

    void onClose() override;
    void onCommand(platform::WParam wParam, platform::LParam lParam) override;

    UI_Button recordButton;
    UI_Text recordText;
    GraphPlot plot;

  private:
    friend class GraphPlot;
    bool gameStartPending_ = false;

    // The values whose change repaints at once: the five thresholds the graph draws.
    struct Thresholds {
        float walkF, left, frontLeft, frontRight, right;
        bool operator==(const Thresholds&) const = default;
    };
    static Thresholds thresholdsOf(const WalkState& state);

    void create(platform::NativeInstance instance, platform::NativeWindow beside,
                platform::Rect keepClear);
    void showRecordStatus();
    void repaint(Clock::time_point now);

    // graph_plot.cpp: the picture, drawn for the time `paintTime_`.
    void paintPlot(platform::PaintContext context);
    void paintLoadPanel(platform::PaintContext context, const WalkState& state);
    // The top of the load panel's scale for this paint.
    double loadTop(const WalkState& state) const;
    void paintAnglePanel(platform::PaintContext context, const WalkState& state);
    void paintSensors(platform::PaintContext context, const WalkState& state);
    void paintSpeedPanel(platform::PaintContext context, const WalkState& state);
    // Draws one value of the samples over the span in the speed panel, 0 at its bottom and
    // `top` at its top.
    void paintSpeedTrace(platform::PaintContext context, float Sample::*value, double top,
                         platform::Colour colour);
    // x of a sample; false when it is older than the span.
    bool xOf(const Sample& s, std::int32_t& x) const;
    // Draws the first n points of points_ as one line (a single point as a dot); n becomes 0.
    void flushLine(platform::PaintContext context, std::size_t& n, platform::Colour colour);

    std::array<Sample, kCapacity> samples_{};
    std::size_t first_ = 0;
    std::size_t count_ = 0;
    bool haveFrames_ = false;
    std::uint32_t lastFrames_ = 0;
    bool newSamples_ = false;
    Clock::time_point lastPaint_{};
    Clock::time_point paintTime_{};
    bool painted_ = false;
    Thresholds paintedThresholds_{};
    std::uint32_t recordGeneration_ = 0;
    // The points of the lines being drawn, kept so that a paint allocates nothing.
    std::array<platform::Point, kCapacity + 1> points_{};
};
