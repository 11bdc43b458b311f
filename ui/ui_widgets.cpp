// UI_Button and UI_Text: creation, painting, and the button's click rule.
#include "ui/ui_widgets.h"

#include <cstring>

using platform::NativeInstance;
using platform::NativeWindow;
using platform::WParam;

namespace {

// Creates the widget's shown child window at (0, 0), bound to `object`, of
// the class named after its caption (the first registration of a name wins).
NativeWindow createWidgetWindow(UI_Window* object, const char* name, NativeWindow parent,
                                NativeInstance instance, std::int32_t width, std::int32_t height,
                                platform::Colour background) {
    NativeWindow window =
        createBoundChildWindow(object, name, parent, instance, 0, 0, width, height, background);
    ws().showWindow(window, platform::kSwShow);
    return window;
}

}  // namespace

void UI_Button::create(std::int32_t newId, const char* newCaption, NativeWindow newOwner,
                       NativeWindow parent, NativeInstance instance, std::int32_t width,
                       std::int32_t newTextX) {
    id = newId;
    caption = newCaption;
    owner = newOwner;
    textX = newTextX;
    backgroundColour = kBackground;
    hwnd = createWidgetWindow(this, caption, parent, instance, width, kHeight, kBackground);
}

void UI_Button::onPaint() {
    platform::PaintContext context = ws().beginPaint(hwnd);
    const auto length = static_cast<std::int32_t>(std::strlen(caption));
    platform::Colour face;
    if (leftDown) {
        backgroundColour = kPressedTextBackground;
        face = kPressedFace;
    } else {
        backgroundColour = kTextBackground;
        face = kFace;
    }
    const platform::Rect rect = ws().windowRect(hwnd);
    ws().roundRect(context, {0, 0, rect.width(), rect.height()}, kCornerEllipse, kCornerEllipse,
                   face);
    drawText(context, kFontHeight, backgroundColour, kTextColour, textX, kTextY, caption, length,
             rightAlign);
    ws().endPaint(hwnd, context);
}

void UI_Button::onLButtonDown(WParam, int, int) {
    leftDown = true;
    ws().setCapture(hwnd);
    ws().invalidate(hwnd, false);
}

// A click is a release with the cursor strictly inside the button; the
// position carried by the message is not used.
void UI_Button::onLButtonUp(WParam, int, int) {
    if (!leftDown) return;
    leftDown = false;
    ws().releaseCapture();
    ws().invalidate(hwnd, false);
    const platform::Point cursor = ws().screenToClient(hwnd, ws().cursorPos());
    const platform::Rect rect = ws().windowRect(hwnd);
    if (cursor.x > 0 && cursor.x < rect.width() && cursor.y > 0 && cursor.y < rect.height()) {
        ws().sendMessage(owner, platform::kWmCommand, static_cast<std::uint32_t>(id) & 0xFFFF, 0);
    }
}

void UI_Text::create(std::int32_t newId, const char* newText, NativeWindow newOwner,
                     NativeWindow parent, NativeInstance instance, std::int32_t width,
                     std::int32_t height) {
    id = newId;
    owner = newOwner;
    backgroundColour = kBackground;
    text = newText;
    fontHeight = height;
    hwnd = createWidgetWindow(this, newText, parent, instance, width, height, kBackground);
}

void UI_Text::onPaint() {
    platform::PaintContext context = ws().beginPaint(hwnd);
    drawText(context, fontHeight, backgroundColour, textColour, 0, 0, text.c_str(),
             static_cast<std::int32_t>(text.size()), rightAlign);
    ws().endPaint(hwnd, context);
}
