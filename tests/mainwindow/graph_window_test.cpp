// The graph window on the fake window system: opened from the tray menu, closed by its close
// box, sampling only while open into a fixed ring; its threshold line and bands follow the
// main window's buttons at once; its 記録 switch records into recordings/ and tells the user
// what became of it.
#include "mainwindow/graph_window.h"

#include <gmock/gmock.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "link/stream_recorder.h"
#include "output/walk_row.h"
#include "tests/mainwindow/main_window_fixture.h"

using namespace std::chrono_literals;
using ::testing::HasSubstr;
using ::testing::StartsWith;
using Clock = GraphWindow::Clock;
using DrawOp = testsupport::FakeWindowSystem::DrawOp;

namespace {

class GraphWindowTest : public MainWindowTest {
  protected:
    void TearDown() override {
        StreamRecorder::instance().stop();
        MainWindowTest::TearDown();
    }
    GraphWindow& graph() { return ui->graphWindow; }

    // The fills of the last paint of the plot.
    std::vector<DrawOp> plotFills() {
        std::vector<DrawOp> fills;
        for (const DrawOp& op : fake.drawingOf(graph().plot.hwnd)) {
            if (op.kind == DrawOp::Fill) fills.push_back(op);
        }
        return fills;
    }
    // The row of the walking threshold's line: the one-pixel cyan line across the panel.
    int thresholdRow() {
        for (const DrawOp& op : plotFills()) {
            if (op.fill == GraphWindow::kCyan && op.rect.height() == 1 &&
                op.rect.width() == GraphWindow::kLoadPanel.width()) {
                return op.rect.top;
            }
        }
        return -1;
    }
    // The band of the right-sideways row.
    platform::Rect sidewaysRightBand() {
        for (const DrawOp& op : plotFills()) {
            if (op.fill == GraphWindow::kBands[static_cast<int>(WalkRow::SidewaysRight)]) {
                return op.rect;
            }
        }
        return {};
    }

    // Later than the real clock, so that the window's own first paint lies in the past.
    const Clock::time_point t0 = Clock::now() + 1h;
};

TEST_F(GraphWindowTest, OpensFromTheTrayMenuAsAFixedWindowAndSamplesOnlyWhileOpen) {
    create();
    graph().sample(state(), 1, t0);
    EXPECT_EQ(graph().sampleCount(), 0u);
    EXPECT_EQ(graph().hwnd, 0u) << "no window before it is asked for";

    command(UIEx::kMenuGraph);
    ASSERT_NE(graph().hwnd, 0u);
    const auto* window = fake.window(graph().hwnd);
    EXPECT_TRUE(window->visible);
    EXPECT_EQ(window->parent, 0u);
    EXPECT_EQ(window->title, "Tarvel-Omnix グラフ");
    EXPECT_EQ(window->style & (platform::kWsThickFrame | platform::kWsMaximizeBox), 0u);
    EXPECT_EQ(fake.windowRect(graph().hwnd).left, 740 + UIEx::kWidth + 10)
        << "right of the main one";
    EXPECT_TRUE(fake.window(ui->hwnd)->visible);

    // One sample per new frame count, however many passes see it.
    graph().sample(state(), 7, t0);
    graph().sample(state(), 7, t0 + 1ms);
    graph().sample(state(), 8, t0 + 10ms);
    EXPECT_EQ(graph().sampleCount(), 2u);
    // A fixed ring: the newest samples stay.
    for (std::uint32_t frame = 9; frame < 9 + 3000; ++frame) {
        state().angle = static_cast<float>(frame);
        graph().sample(state(), frame, t0 + frame * 10ms);
    }
    ASSERT_EQ(graph().sampleCount(), GraphWindow::kCapacity);
    EXPECT_EQ(graph().sampleAt(GraphWindow::kCapacity - 1).angle, 3008.0f);
    EXPECT_EQ(graph().sampleAt(0).angle, static_cast<float>(3009 - GraphWindow::kCapacity));

    // The close box hides it; closed, it keeps nothing and paints nothing.
    fake.sendMessage(graph().hwnd, platform::kWmClose, 0, 0);
    EXPECT_FALSE(fake.window(graph().hwnd)->visible);
    EXPECT_TRUE(fake.window(ui->hwnd)->visible);
    fake.clearRecords();
    graph().sample(state(), 5000, t0 + 40s);
    graph().refresh(t0 + 40s);
    EXPECT_TRUE(fake.paints.empty());

    // Opened again, it starts afresh.
    command(UIEx::kMenuGraph);
    EXPECT_TRUE(fake.window(graph().hwnd)->visible);
    EXPECT_EQ(graph().sampleCount(), 0u);
}

TEST(GraphPlacementTest, BesideTheMainWindowInTheWorkAreaElseOffTheAdjustingButtons) {
    using P = platform::Point;
    const platform::Size size{GraphWindow::kWidth, GraphWindow::kHeight};
    const platform::Rect main{1000, 302, 1440, 777};
    EXPECT_EQ(GraphWindow::placeBeside({0, 0, 2200, 1080}, main, {}, size), (P{1450, 302}));
    // A panel on the right leaves room on the left only.
    EXPECT_EQ(GraphWindow::placeBeside({0, 0, 1820, 1080}, main, {}, size), (P{270, 302}));
    // 1280 pixels wide, a top panel, the main window in the middle: above the ＋/－ buttons.
    EXPECT_EQ(GraphWindow::placeBeside({0, 30, 1280, 1024}, {420, 275, 860, 750},
                                       {453, 535, 807, 635}, size),
              (P{560, 30}));
}

TEST_F(GraphWindowTest, TheThresholdLineAndTheBandsFollowTheButtonsAtOnce) {
    create();
    command(UIEx::kMenuGraph);
    graph().sample(state(), 1, t0);
    graph().refresh(t0);
    // walkFThreshold 0.3 on the scale 0 to 1 of the 110 rows of the panel.
    EXPECT_EQ(thresholdRow(), 20 + 76);
    // thresholdR 20 on the scale +50 (top) to -50 of its 160 rows.
    EXPECT_EQ(sidewaysRightBand().top, GraphWindow::kAnglePanel.top);
    EXPECT_EQ(sidewaysRightBand().bottom, 174 + 48);

    // Within the repaint period nothing new repaints nothing, but the buttons do.
    fake.clearRecords();
    graph().refresh(t0 + 1ms);
    EXPECT_TRUE(fake.paints.empty());
    for (int i = 0; i < 5; ++i) click(ui->walkFThresholdUpButton);
    click(ui->thresholdRUpButton);
    graph().refresh(t0 + 2ms);
    EXPECT_EQ(thresholdRow(), 20 + 71);               // 0.35
    EXPECT_EQ(sidewaysRightBand().bottom, 174 + 46);  // 21

    // The scales' numbers, left of the panels (the cadence's too), lie within their panels'
    // heights.
    for (const DrawOp& op : fake.drawingOf(graph().plot.hwnd)) {
        if (op.kind != DrawOp::Text || op.x >= GraphWindow::kLoadPanel.left ||
            std::strchr("+-0123456789", op.text[0]) == nullptr) {
            continue;
        }
        const platform::Rect& panel =
            op.y < GraphWindow::kAnglePanel.top - 10   ? GraphWindow::kLoadPanel
            : op.y < GraphWindow::kSpeedPanel.top - 10 ? GraphWindow::kAnglePanel
                                                       : GraphWindow::kSpeedPanel;
        EXPECT_GE(op.y, panel.top) << op.text;
        EXPECT_LE(op.y + op.fontHeight, panel.bottom) << op.text;
    }
}

TEST_F(GraphWindowTest, AGameThatBeganToReadTheWalkIsMarkedAtItsSample) {
    create();
    command(UIEx::kMenuGraph);
    graph().sample(state(), 1, t0);
    graph().markGameStart();
    graph().sample(state(), 2, t0 + 10ms);
    graph().sample(state(), 3, t0 + 20ms);
    graph().refresh(t0 + 20ms);
    std::vector<platform::Rect> marks;
    for (const DrawOp& op : plotFills()) {
        if (op.fill == GraphWindow::kGameStart) marks.push_back(op.rect);
    }
    ASSERT_EQ(marks.size(), 1u);
    EXPECT_EQ(marks[0].height(), GraphWindow::kLoadPanel.height());
}

TEST_F(GraphWindowTest, TheRecordSwitchRecordsIntoRecordingsAndTellsWhatBecameOfIt) {
    create();
    command(UIEx::kMenuGraph);
    StreamRecorder& recorder = StreamRecorder::instance();

    click(graph().recordButton);
    ASSERT_TRUE(recorder.status().recording);
    const std::string path = recorder.status().path;
    EXPECT_THAT(path, StartsWith("recordings/tarvel-"));
    EXPECT_EQ(path.size(), std::strlen("recordings/tarvel-YYYYMMDD-HHMMSS.txt")) << path;
    EXPECT_EQ(graph().recordText.text, "記録中：" + path);
    EXPECT_EQ(graph().recordText.textColour, GraphWindow::kCyan);

    const std::string stream = "!1.0,2.0,3.0,4.0,5.0,6.0,7.0,8.0,9\r\n";
    recorder.feed({reinterpret_cast<const std::uint8_t*>(stream.data()), stream.size()});
    click(graph().recordButton);
    EXPECT_FALSE(recorder.status().recording);
    EXPECT_EQ(testsupport::readFile(path), stream);
    EXPECT_EQ(graph().recordText.text, "記録を保存しました：" + path);

    // A recordings folder that cannot be made: told in the window, nothing is recorded.
    std::filesystem::remove_all("recordings");
    testsupport::writeFile("recordings", "");
    click(graph().recordButton);
    EXPECT_FALSE(recorder.status().recording);
    EXPECT_THAT(graph().recordText.text, StartsWith("記録できません：recordings/tarvel-"));
    EXPECT_THAT(graph().recordText.text, HasSubstr(recorder.status().failure));
    EXPECT_NE(recorder.status().failure, "");
}

}  // namespace
