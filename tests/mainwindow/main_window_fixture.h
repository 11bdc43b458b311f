// A main window on the fake window system, created and shown as the entry
// point does, with the settings at their file defaults and the working
// directory in a fresh temporary folder.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "analysis/walk_state.h"
#include "link/sensor_link.h"
#include "mainwindow/ui_strings.h"
#include "mainwindow/uiex.h"
#include "settings/settings_file.h"
#include "tests/support/default_settings.h"
#include "tests/support/fake_window_system.h"
#include "tests/support/support.h"

class MainWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        stopSensorReader();
        WalkState::instance() = testsupport::defaultSettings();
        ui = std::make_unique<UIEx>();
    }

    void TearDown() override {
        ui.reset();
        SensorLink::instance().reset();
    }

    // Creates the native window and the widgets; `show` shows it as the
    // entry point does at the end of its start-up.
    void create(bool show = true) {
        ui->createMainWindow(0, UIEx::kIconId, platform::kIdcArrow, UIEx::kBackground,
                             ui_strings::kWindowClassName, ui_strings::kWindowTitle, UIEx::kStyle,
                             740, 302, UIEx::kWidth, UIEx::kHeight);
        ui->id = 0;
        ui->buildWidgets(0);
        if (show) {
            ui->shown = true;
            fake.showWindow(ui->hwnd, platform::kSwShow);
        }
    }

    void command(std::uint32_t id) { fake.sendMessage(ui->hwnd, platform::kWmCommand, id, 0); }

    // A left click in the middle of a button, through the toolkit.
    void click(const UI_Button& button) {
        const platform::Rect r = fake.windowRect(button.hwnd);
        fake.cursor = {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
        fake.sendMessage(button.hwnd, platform::kWmLButtonDown, 0, 0);
        fake.sendMessage(button.hwnd, platform::kWmLButtonUp, 0, 0);
    }

    // The position of a widget in the main window's client area.
    platform::Point placeOf(platform::NativeWindow widget) {
        const platform::Rect r = fake.window(widget)->rect;
        return {r.left, r.top};
    }

    WalkState& state() { return WalkState::instance(); }
    SensorLink& link() { return SensorLink::instance(); }

    testsupport::TempDir dir_;
    testsupport::ScopedCwd cwd_{dir_.path()};
    testsupport::FakeWindowSystem fake;
    std::unique_ptr<UIEx> ui;
};
