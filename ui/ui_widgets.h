// The toolkit's widgets: UI_SubWindow (a child window with an owner), the
// self-drawn push button UI_Button and the text label UI_Text.
#pragma once

#include <cstdint>
#include <string>

#include "ui/ui_window.h"

// A child window that reports to an owner window.
class UI_SubWindow : public UI_Window {
  public:
    // Receives a button's click command.
    platform::NativeWindow owner = 0;
};

// A red rounded push button with a white caption. A left press and a left
// release inside it send one kWmCommand with its id to the owner.
class UI_Button : public UI_SubWindow {
  public:
    static constexpr std::int32_t kHeight = 20;
    static constexpr std::int32_t kCornerEllipse = 9;
    static constexpr std::int32_t kFontHeight = 16;
    static constexpr std::int32_t kTextY = 2;
    static constexpr platform::Colour kBackground = 0x191919;
    static constexpr platform::Colour kFace = 0x000096;
    static constexpr platform::Colour kTextBackground = 0x000096;
    static constexpr platform::Colour kPressedFace = 0x000036;
    static constexpr platform::Colour kPressedTextBackground = 0x00005A;
    static constexpr platform::Colour kTextColour = 0xFFFFFF;

    // Creates the shown child window at (0, 0), width by 20 pixels. The caption
    // must outlive the button; it is also the class name and the title.
    void create(std::int32_t id, const char* caption, platform::NativeWindow owner,
                platform::NativeWindow parent, platform::NativeInstance instance,
                std::int32_t width, std::int32_t textX);

    void onPaint() override;
    void onLButtonDown(platform::WParam wParam, int x, int y) override;
    void onLButtonUp(platform::WParam wParam, int x, int y) override;

    const char* caption = nullptr;
    std::int32_t textX = 0;
};

// A text label: one string in one colour on the dark background, drawn at the
// label's height as font height. Every paint covers the whole label, so a
// shorter text leaves nothing of a longer one.
class UI_Text : public UI_SubWindow {
  public:
    static constexpr platform::Colour kBackground = 0x191919;
    static constexpr platform::Colour kDefaultTextColour = 0xFFFFFF;

    // Creates the shown child window at (0, 0), width by height pixels, with a
    // copy of `text`, which is also the class name and the title.
    void create(std::int32_t id, const char* text, platform::NativeWindow owner,
                platform::NativeWindow parent, platform::NativeInstance instance,
                std::int32_t width, std::int32_t height);

    void onPaint() override;

    std::int32_t fontHeight = 0;
    std::string text;
    platform::Colour textColour = kDefaultTextColour;
};
