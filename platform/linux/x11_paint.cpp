// Painting in the X11 window system: invalidation marks, the paint of marked
// windows, and the drawing requests of a paint.
#include <algorithm>

#include "platform/linux/x11_internal.h"

namespace platform::x11 {

void X11WindowSystem::invalidate(NativeWindow window, bool erase) {
    WindowRecord* rec = record(window);
    if (rec == nullptr) return;
    rec->dirty = true;
    rec->erase = rec->erase || erase;
    dirty_.insert(window);
}

void X11WindowSystem::paintTree(NativeWindow window) {
    WindowRecord* rec = record(window);
    if (rec == nullptr) return;
    if (rec->dirty && viewable(window)) sendMessage(window, kWmPaint, 0, 0);
    rec = record(window);
    if (rec == nullptr) return;
    const std::vector<NativeWindow> children = rec->children;
    for (NativeWindow child : children) paintTree(child);
}

void X11WindowSystem::update(NativeWindow window) {
    if (display_ == nullptr) return;
    paintTree(window);
}

// Each drawing request goes straight to the window. Repaints that would change
// nothing are not asked for: the main window's refresh invalidates only the
// labels whose text or colour changed.
PaintContext X11WindowSystem::beginPaint(NativeWindow window) {
    if (WindowRecord* rec = record(window)) {
        if (rec->erase) XClearWindow(display_, rec->xid);
        rec->erase = false;
        rec->dirty = false;
        dirty_.erase(window);
    }
    return {window, 0};
}

void X11WindowSystem::endPaint(NativeWindow, PaintContext) {}

void X11WindowSystem::fillRect(PaintContext context, Rect rect, Colour colour) {
    WindowRecord* rec = record(context.window);
    if (rec == nullptr) return;
    XSetForeground(display_, gc_, pixel(colour));
    XFillRectangle(display_, rec->xid, gc_, rect.left, rect.top,
                   static_cast<unsigned>(std::max(0, rect.width())),
                   static_cast<unsigned>(std::max(0, rect.height())));
}

void X11WindowSystem::roundRect(PaintContext context, Rect rect, std::int32_t ellipseWidth,
                                std::int32_t ellipseHeight, Colour fill) {
    WindowRecord* rec = record(context.window);
    if (rec == nullptr) return;
    const int l = rect.left;
    const int t = rect.top;
    const int w = rect.width();
    const int h = rect.height();
    if (w <= 0 || h <= 0) return;
    const int aw = std::clamp(ellipseWidth, 1, w);
    const int ah = std::clamp(ellipseHeight, 1, h);
    const auto uw = [](int v) { return static_cast<unsigned>(std::max(0, v)); };
    XSetForeground(display_, gc_, pixel(fill));
    XFillRectangle(display_, rec->xid, gc_, l + aw / 2, t, uw(w - 2 * (aw / 2)), uw(h));
    XFillRectangle(display_, rec->xid, gc_, l, t + ah / 2, uw(w), uw(h - 2 * (ah / 2)));
    XArc corners[4] = {
        {static_cast<short>(l), static_cast<short>(t), static_cast<unsigned short>(aw - 1),
         static_cast<unsigned short>(ah - 1), 90 * 64, 90 * 64},
        {static_cast<short>(l + w - aw), static_cast<short>(t), static_cast<unsigned short>(aw - 1),
         static_cast<unsigned short>(ah - 1), 0, 90 * 64},
        {static_cast<short>(l), static_cast<short>(t + h - ah), static_cast<unsigned short>(aw - 1),
         static_cast<unsigned short>(ah - 1), 180 * 64, 90 * 64},
        {static_cast<short>(l + w - aw), static_cast<short>(t + h - ah),
         static_cast<unsigned short>(aw - 1), static_cast<unsigned short>(ah - 1), 270 * 64,
         90 * 64},
    };
    XFillArcs(display_, rec->xid, gc_, corners, 4);
    // The pen: one black pixel on the outline.
    XSetForeground(display_, gc_, pixel(0x000000));
    XDrawArcs(display_, rec->xid, gc_, corners, 4);
    XSegment edges[4] = {
        {static_cast<short>(l + aw / 2), static_cast<short>(t),
         static_cast<short>(l + w - 1 - aw / 2), static_cast<short>(t)},
        {static_cast<short>(l + aw / 2), static_cast<short>(t + h - 1),
         static_cast<short>(l + w - 1 - aw / 2), static_cast<short>(t + h - 1)},
        {static_cast<short>(l), static_cast<short>(t + ah / 2), static_cast<short>(l),
         static_cast<short>(t + h - 1 - ah / 2)},
        {static_cast<short>(l + w - 1), static_cast<short>(t + ah / 2),
         static_cast<short>(l + w - 1), static_cast<short>(t + h - 1 - ah / 2)},
    };
    XDrawSegments(display_, rec->xid, gc_, edges, 4);
}

void X11WindowSystem::textOut(PaintContext context, std::int32_t x, std::int32_t y,
                              std::string_view text, std::int32_t fontHeight, Colour textColour,
                              Colour background) {
    WindowRecord* rec = record(context.window);
    if (rec == nullptr || text.empty()) return;
    if (rec->draw == nullptr) rec->draw = XftDrawCreate(display_, rec->xid, visual_, colormap_);
    drawTextCell(rec->draw, x, y, text, fontHeight, textColour, background);
}

Size X11WindowSystem::textExtent(PaintContext, std::string_view text, std::int32_t fontHeight) {
    return {textWidth(text, fontHeight), fontHeight};
}

}  // namespace platform::x11
