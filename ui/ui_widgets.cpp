// UI_Button and UI_Text: creation, painting, and the button's click rule.
#include "ui/ui_widgets.h"

#include <algorithm>
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

// Fills the part of `area` outside `hole` with the colour, in at most four
// rectangles.
void fillAround(platform::PaintContext context, platform::Rect area, platform::Rect hole,
                platform::Colour colour) {
    const std::int32_t left = std::clamp(hole.left, area.left, area.right);
    const std::int32_t right = std::clamp(hole.right, left, area.right);
    const std::int32_t top = std::clamp(hole.top, area.top, area.bottom);
    const std::int32_t bottom = std::clamp(hole.bottom, top, area.bottom);
    const platform::Rect bands[] = {
        {area.left, area.top, area.right, top},
        {area.left, top, left, bottom},
        {right, top, area.right, bottom},
        {area.left, bottom, area.right, area.bottom},
    };
    for (const platform::Rect& band : bands) {
        if (band.width() > 0 && band.height() > 0) ws().fillRect(context, band, colour);
    }
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

// The whole label is painted, as on a freshly uncovered window: the text's
// opaque cell, and the background around it, so that nothing of a longer text
// shown before stays. No pixel is painted twice, so nothing flickers.
void UI_Text::onPaint() {
    platform::PaintContext context = ws().beginPaint(hwnd);
    const std::int32_t x = textX(context, fontHeight, 0, text.c_str(), rightAlign);
    const platform::Size cell =
        text.empty() ? platform::Size{} : ws().textExtent(context, text, fontHeight);
    fillAround(context, ws().clientRect(hwnd), {x, 0, x + cell.cx, cell.cy}, backgroundColour);
    drawText(context, fontHeight, backgroundColour, textColour, x, 0, text.c_str(),
             static_cast<std::int32_t>(text.size()), false);
    ws().endPaint(hwnd, context);
}
