// The live refresh on the fake window system: texts and their forms, colours
// by walking, step flags and modes, nothing while hidden, and repainting
// exactly the labels whose text or colour changed.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "tests/mainwindow/main_window_fixture.h"

using platform::NativeWindow;

namespace {

class RefreshTest : public MainWindowTest {
  protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        create();
        ui->refreshDisplay();
        fake.clearRecords();
    }

    // The text of the label's latest paint.
    std::string painted(const UI_Text& label) {
        const auto ops = fake.drawingOf(label.hwnd);
        return ops.empty() ? "(not painted)" : ops.back().text;
    }
    platform::Colour paintedColour(const UI_Text& label) {
        const auto ops = fake.drawingOf(label.hwnd);
        return ops.empty() ? 0xDEADu : ops.back().textColour;
    }

    std::vector<const UI_Text*> sensorLabels() {
        std::vector<const UI_Text*> out;
        for (int i = 0; i < 8; ++i) {
            out.push_back(&ui->sensorLoadText[i]);
            out.push_back(&ui->sensorSlashText[i]);
            out.push_back(&ui->sensorMaxText[i]);
        }
        return out;
    }
};

TEST_F(RefreshTest, TextsInTheirForms) {
    WalkState& st = state();
    st.taredLoad[0] = 12.5f;
    st.taredLoad[7] = -0.25f;
    st.loadMax[3] = 123.456f;
    st.upperAverage = 1.0f / 3.0f;
    st.lowerAverage = -2.0f;
    st.leftAverage = 0.1f;
    st.rightAverage = 1e10f;
    st.lowerMovingAverage = 4.0f;
    st.directionX = -0.0f;
    st.directionY = -0.5f;
    st.angle = std::numeric_limits<float>::quiet_NaN();
    st.thresholdL = -20.0f;
    st.thresholdFL = -12.5f;
    st.thresholdFR = 12.5f;
    st.thresholdR = 45.0f;
    st.walkFThreshold = 0.3f;
    st.walkSpeedFB = 0.25f;
    st.walkSpeedLR = 0.08f;
    st.rotationSpeed = 0.15f;
    st.numStep = -3;
    ui->refreshDisplay();

    EXPECT_EQ(ui->sensorLoadText[0].text, "12.500000");
    EXPECT_EQ(ui->sensorLoadText[7].text, "-0.250000");
    EXPECT_EQ(ui->sensorMaxText[3].text, "123.456001");
    EXPECT_EQ(ui->upperAverageText.text, "0.333333");
    EXPECT_EQ(ui->lowerAverageText.text, "-2.000000");
    EXPECT_EQ(ui->leftAverageText.text, "0.100000");
    EXPECT_EQ(ui->rightAverageText.text, "10000000000.000000");
    EXPECT_EQ(ui->lowerMovingAverageText.text, "4.000000");
    // -0.0 counts as not negative; -0.5 shows its sign apart from its size.
    EXPECT_EQ(ui->directionXSignText.text, "+");
    EXPECT_EQ(ui->directionXText.text, "0.000000");
    EXPECT_EQ(ui->directionYSignText.text, "-");
    EXPECT_EQ(ui->directionYText.text, "0.500000");
    // NaN is shown with "-" and without a sign of its own.
    EXPECT_EQ(ui->angleSignText.text, "-");
    EXPECT_EQ(ui->angleText.text, "nan");
    EXPECT_EQ(ui->thresholdLText.text, "20.000000");
    EXPECT_EQ(ui->thresholdFLText.text, "12.500000");
    EXPECT_EQ(ui->thresholdFRText.text, "12.500000");
    EXPECT_EQ(ui->thresholdRText.text, "45.000000");
    EXPECT_EQ(ui->walkFThresholdText.text, "0.300000");
    EXPECT_EQ(ui->walkSpeedFBText.text, "0.250000");
    EXPECT_EQ(ui->walkSpeedLRText.text, "0.080000");
    EXPECT_EQ(ui->rotationSpeedText.text, "0.150000");
    EXPECT_EQ(ui->stepCountText.text, "-3");
    // The fixed signs beside the thresholds stay.
    EXPECT_EQ(ui->thresholdLSignLabel.text, "-");
    EXPECT_EQ(ui->thresholdRSignLabel.text, "+");

    // A negative NaN and the largest float.
    st.angle = -std::numeric_limits<float>::quiet_NaN();
    st.upperAverage = -std::numeric_limits<float>::max();
    ui->refreshDisplay();
    EXPECT_EQ(ui->angleSignText.text, "-");
    EXPECT_EQ(ui->angleText.text, "nan");
    EXPECT_EQ(ui->upperAverageText.text, "-340282346638528859811704183484516925440.000000");
}

TEST_F(RefreshTest, EveryChangedLabelIsPaintedByTheSameRefresh) {
    state().taredLoad[2] = 3.0f;
    state().directionX = -1.0f;
    state().numStep = 12;
    ui->refreshDisplay();
    EXPECT_EQ(painted(ui->sensorLoadText[2]), "3.000000");
    EXPECT_EQ(painted(ui->directionXSignText), "-");
    EXPECT_EQ(painted(ui->directionXText), "1.000000");
    EXPECT_EQ(painted(ui->stepCountText), "12");
    EXPECT_EQ(fake.updateCalls, std::vector<NativeWindow>{ui->hwnd});
    // Read-outs are repainted without erasing: a label paints the background
    // around its text itself.
    for (const auto& inv : fake.invalidations) EXPECT_FALSE(inv.erase);
}

TEST_F(RefreshTest, WalkingColoursTheSensorsAndTheArmedSide) {
    state().walking = 1;
    state().leftStepArmed = 1;
    state().rightStepArmed = 0;
    ui->refreshDisplay();
    for (const UI_Text* label : sensorLabels()) {
        EXPECT_EQ(label->textColour, UIEx::kCyan);
        EXPECT_EQ(paintedColour(*label), UIEx::kCyan);
    }
    EXPECT_EQ(ui->leftAverageText.textColour, UIEx::kCyan);
    EXPECT_EQ(ui->rightAverageText.textColour, UIEx::kWhite);
    EXPECT_EQ(ui->upperAverageText.textColour, UIEx::kWhite);

    state().leftStepArmed = 0;
    state().rightStepArmed = 3;
    ui->refreshDisplay();
    EXPECT_EQ(ui->leftAverageText.textColour, UIEx::kWhite);
    EXPECT_EQ(ui->rightAverageText.textColour, UIEx::kCyan);
    EXPECT_EQ(paintedColour(ui->rightAverageText), UIEx::kCyan);

    // Only exactly 1 is walking; the step flags show only while walking.
    for (std::int32_t walking : {0, 2, -1}) {
        state().walking = walking;
        state().leftStepArmed = state().rightStepArmed = 1;
        ui->refreshDisplay();
        for (const UI_Text* label : sensorLabels()) EXPECT_EQ(label->textColour, UIEx::kWhite);
        EXPECT_EQ(ui->leftAverageText.textColour, UIEx::kWhite) << walking;
        EXPECT_EQ(ui->rightAverageText.textColour, UIEx::kWhite) << walking;
    }
}

TEST_F(RefreshTest, SpeedsTurnGreyWhereTheModesLeaveThemWithoutEffect) {
    struct ModeCase {
        std::int32_t appMode;
        std::int32_t moveMode;
        platform::Colour forward;
        platform::Colour side;
        platform::Colour turn;
    };
    const platform::Colour W = UIEx::kWhite;
    const platform::Colour G = UIEx::kGrey;
    const ModeCase cases[] = {
        // The first case differs from the state shown, so every label has
        // been painted at least once when its colour is checked.
        {0, 1, W, G, W}, {1, 0, G, G, G}, {1, 1, G, G, W},
        {2, 0, G, G, G}, {0, 5, W, G, W}, {0, 0, W, W, G},
    };
    for (const ModeCase& c : cases) {
        state().appMode = c.appMode;
        state().moveMode = c.moveMode;
        ui->refreshDisplay();
        const auto where = ::testing::Message() << "modes " << c.appMode << "," << c.moveMode;
        EXPECT_EQ(ui->walkSpeedFBLabel.textColour, c.forward) << where;
        EXPECT_EQ(ui->walkSpeedFBText.textColour, c.forward) << where;
        EXPECT_EQ(ui->walkSpeedLRLabel.textColour, c.side) << where;
        EXPECT_EQ(ui->walkSpeedLRText.textColour, c.side) << where;
        EXPECT_EQ(ui->rotationSpeedLabel.textColour, c.turn) << where;
        EXPECT_EQ(ui->rotationSpeedText.textColour, c.turn) << where;
        EXPECT_EQ(paintedColour(ui->rotationSpeedLabel), c.turn) << where;
        EXPECT_EQ(paintedColour(ui->walkSpeedLRLabel), c.side) << where;
    }
    // The heading "歩行速度：" is never recoloured.
    EXPECT_EQ(ui->walkSpeedLabel.textColour, UIEx::kWhite);
}

TEST_F(RefreshTest, NothingChangesWhileHidden) {
    fake.addTrayIcon({.window = ui->hwnd, .id = 0, .tip = {}});
    fake.sendMessage(ui->hwnd, platform::kWmClose, 0, 0);  // hides: the tray is there
    ASSERT_FALSE(ui->shown);
    const std::string before = ui->sensorLoadText[0].text;
    state().taredLoad[0] = 99.0f;
    state().walking = 1;
    state().appMode = 1;
    state().numStep = 5;
    fake.clearRecords();
    ui->refreshDisplay();
    EXPECT_EQ(ui->sensorLoadText[0].text, before);
    EXPECT_EQ(ui->sensorLoadText[0].textColour, UIEx::kWhite);
    EXPECT_EQ(ui->walkSpeedFBText.textColour, UIEx::kWhite);
    EXPECT_EQ(ui->stepCountText.text, "0");
    EXPECT_TRUE(fake.invalidations.empty());
    EXPECT_TRUE(fake.updateCalls.empty());
    EXPECT_TRUE(fake.drawing.empty());

    // Shown again from the tray, the next refresh catches up.
    fake.sendMessage(ui->hwnd, platform::kWmTrayIcon, 0, platform::kWmLButtonDown);
    ui->refreshDisplay();
    EXPECT_EQ(ui->sensorLoadText[0].text, "99.000000");
    EXPECT_EQ(ui->stepCountText.text, "5");
}

TEST_F(RefreshTest, AMinimisedWindowIsStillRefreshed) {
    fake.showWindow(ui->hwnd, platform::kSwMinimize);
    state().numStep = 8;
    ui->refreshDisplay();
    EXPECT_EQ(ui->stepCountText.text, "8");
}

TEST_F(RefreshTest, UnchangedLabelsAreNotRepainted) {
    // The first refresh replaced every initial caption; a second one with the
    // same values has nothing to draw.
    ui->refreshDisplay();
    EXPECT_TRUE(fake.invalidations.empty());
    EXPECT_TRUE(fake.updateCalls.empty());
    EXPECT_TRUE(fake.paints.empty());

    // One changed value repaints its label only.
    state().lowerAverage = 0.5f;
    ui->refreshDisplay();
    ASSERT_EQ(fake.invalidations.size(), 1u);
    EXPECT_EQ(fake.invalidations[0].window, ui->lowerAverageText.hwnd);
    EXPECT_EQ(fake.paints, std::vector<NativeWindow>{ui->lowerAverageText.hwnd});

    // A colour change alone repaints too, the separators included.
    fake.clearRecords();
    state().walking = 1;
    ui->refreshDisplay();
    EXPECT_EQ(fake.invalidationCount(ui->sensorSlashText[4].hwnd), 1);
    EXPECT_EQ(paintedColour(ui->sensorSlashText[4]), UIEx::kCyan);
    EXPECT_EQ(fake.invalidationCount(ui->upperAverageText.hwnd), 0);

    // A value that changes but formats the same (the magnitude of 1 and -1)
    // leaves its label alone, while its sign label is repainted.
    fake.clearRecords();
    state().angle = 1.0f;
    ui->refreshDisplay();
    fake.clearRecords();
    state().angle = -1.0f;
    ui->refreshDisplay();
    EXPECT_EQ(fake.invalidationCount(ui->angleText.hwnd), 0);
    EXPECT_EQ(fake.invalidationCount(ui->angleSignText.hwnd), 1);
}

TEST_F(RefreshTest, TextsChangedElsewhereAreRestored) {
    state().numStep = 4;
    ui->refreshDisplay();
    // Something else wrote into a read-out; the value itself did not change.
    ui->stepCountText.text = "garbage";
    ui->directionXText.textColour = UIEx::kGrey;
    fake.clearRecords();
    ui->refreshDisplay();
    EXPECT_EQ(ui->stepCountText.text, "4");
    EXPECT_EQ(painted(ui->stepCountText), "4");
    EXPECT_EQ(ui->directionXText.textColour, UIEx::kGrey);  // it keeps colours it does not set
}

TEST_F(RefreshTest, CommandTextsArePaintedByTheNextRefresh) {
    // A command's invalidation (here the COM number) is painted before the
    // refresh returns, even when no read-out changed.
    fake.clearRecords();
    command(UIEx::kComIdUp);
    EXPECT_TRUE(fake.paints.empty());
    ui->refreshDisplay();
    EXPECT_EQ(painted(ui->comIdText), "4");
    EXPECT_EQ(fake.updateCalls.size(), 1u);
}

}  // namespace
