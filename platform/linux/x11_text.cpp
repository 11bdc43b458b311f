// Colours, fonts and text of the X11 window system: Xft colours and fonts
// cached by value and height, text measured and drawn in opaque cells.
#include <algorithm>
#include <cmath>
#include <string>

#include "platform/linux/x11_internal.h"

namespace platform::x11 {

namespace {

// The stand-in for the Windows UI font, at the same pixel heights.
constexpr const char* kFontFamily = "IPAPGothic";
constexpr const char* kFallbackFamily = "sans";

// Xft stops at the first invalid UTF-8 sequence; such bytes are shown as '?'.
std::string validUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        FcChar32 ch;
        const int n = FcUtf8ToUcs4(reinterpret_cast<const FcChar8*>(text.data() + i), &ch,
                                   static_cast<int>(text.size() - i));
        if (n <= 0) {
            out.push_back('?');
            ++i;
        } else {
            out.append(text.substr(i, static_cast<std::size_t>(n)));
            i += static_cast<std::size_t>(n);
        }
    }
    return out;
}

bool isValidUtf8(std::string_view text) {
    int chars = 0;
    int width = 0;
    return FcUtf8Len(reinterpret_cast<const FcChar8*>(text.data()), static_cast<int>(text.size()),
                     &chars, &width) != FcFalse;
}

// The text itself when it is valid UTF-8, otherwise its repair, kept in
// storage.
std::string_view drawableText(std::string_view text, std::string& storage) {
    if (isValidUtf8(text)) return text;
    storage = validUtf8(text);
    return storage;
}

// The advance of valid UTF-8 text in a font.
std::int32_t advanceOf(Display* display, XftFont* font, std::string_view text) {
    XGlyphInfo info;
    XftTextExtentsUtf8(display, font, reinterpret_cast<const FcChar8*>(text.data()),
                       static_cast<int>(text.size()), &info);
    return info.xOff;
}

}  // namespace

const XftColor* X11WindowSystem::xftColour(Colour colour) {
    auto it = colours_.find(colour);
    if (it != colours_.end()) return &it->second;
    XRenderColor value;
    value.red = static_cast<unsigned short>((colour & 0xFF) * 257);
    value.green = static_cast<unsigned short>(((colour >> 8) & 0xFF) * 257);
    value.blue = static_cast<unsigned short>(((colour >> 16) & 0xFF) * 257);
    value.alpha = 0xFFFF;
    XftColor xft{};
    XftColorAllocValue(display_, visual_, colormap_, &value, &xft);
    return &colours_.emplace(colour, xft).first->second;
}

unsigned long X11WindowSystem::pixel(Colour colour) {
    return xftColour(colour)->pixel;
}

const Font& X11WindowSystem::font(std::int32_t height) {
    auto it = fonts_.find(height);
    if (it != fonts_.end()) return it->second;
    const int pixels = std::max(1, height);
    Font f;
    for (const char* family : {kFontFamily, kFallbackFamily}) {
        const std::string name = std::string(family) + ":pixelsize=" + std::to_string(pixels);
        f.font = XftFontOpenName(display_, screen_, name.c_str());
        if (f.font != nullptr) break;
    }
    if (f.font != nullptr) {
        // Xft rounds ascent and descent up; share the requested cell height
        // out between them in the font's own proportion.
        const int total = std::max(1, f.font->ascent + f.font->descent);
        f.ascent = static_cast<int>(std::lround(double(f.font->ascent) * pixels / total));
    }
    return fonts_.emplace(height, f).first->second;
}

std::int32_t X11WindowSystem::textWidth(std::string_view text, std::int32_t fontHeight) {
    if (display_ == nullptr || text.empty()) return 0;
    const Font& f = font(fontHeight);
    if (f.font == nullptr) return 0;
    std::string fixed;
    return advanceOf(display_, f.font, drawableText(text, fixed));
}

void X11WindowSystem::drawTextCell(XftDraw* draw, std::int32_t x, std::int32_t y,
                                   std::string_view text, std::int32_t fontHeight,
                                   Colour textColour, Colour background) {
    if (text.empty()) return;
    const Font& f = font(fontHeight);
    if (f.font == nullptr) return;
    std::string fixed;
    text = drawableText(text, fixed);
    const std::int32_t width = advanceOf(display_, f.font, text);
    XftDrawRect(draw, xftColour(background), x, y, static_cast<unsigned>(std::max(0, width)),
                static_cast<unsigned>(std::max(0, fontHeight)));
    XftDrawStringUtf8(draw, xftColour(textColour), f.font, x, y + f.ascent,
                      reinterpret_cast<const FcChar8*>(text.data()), static_cast<int>(text.size()));
}

}  // namespace platform::x11
