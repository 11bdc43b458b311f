// Painting in the X11 window system: invalidation marks, the paint of marked
// windows, double-buffered paints through a pixmap, and the drawing requests of
// a paint.
#include <algorithm>
#include <limits>

#include "platform/linux/x11_internal.h"

namespace platform::x11 {

namespace {
// The context handle of a paint that draws into the window's buffer.
constexpr std::uintptr_t kBufferedPaint = 1;

short clampShort(std::int32_t v) {
    return static_cast<short>(std::clamp<std::int32_t>(v, std::numeric_limits<short>::min(),
                                                       std::numeric_limits<short>::max()));
}
}  // namespace

Drawable X11WindowSystem::target(const WindowRecord& rec, PaintContext context) const {
    return context.handle == kBufferedPaint && rec.buffer != None ? rec.buffer : rec.xid;
}

void X11WindowSystem::releaseDrawing(WindowRecord& rec) {
    if (rec.draw != nullptr) XftDrawDestroy(rec.draw);
    if (rec.bufferDraw != nullptr) XftDrawDestroy(rec.bufferDraw);
    if (rec.buffer != None) XFreePixmap(display_, rec.buffer);
    rec.draw = rec.bufferDraw = nullptr;
    rec.buffer = None;
}

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
// labels whose text or colour changed. A double-buffered window draws into a
// pixmap of its size instead (made once, kept while the size stays), which
// endPaint copies onto the window in one request; such a window has no
// background of its own, so the server never clears it in between.
PaintContext X11WindowSystem::beginPaint(NativeWindow window) {
    WindowRecord* rec = record(window);
    if (rec == nullptr) return {window, 0};
    rec->dirty = false;
    dirty_.erase(window);
    if (!rec->cls->windowClass.doubleBuffered) {
        if (rec->erase) XClearWindow(display_, rec->xid);
        rec->erase = false;
        return {window, 0};
    }
    rec->erase = false;
    const int width = std::max(1, rec->width);
    const int height = std::max(1, rec->height);
    if (rec->buffer == None || rec->bufferWidth != width || rec->bufferHeight != height) {
        if (rec->bufferDraw != nullptr) XftDrawDestroy(rec->bufferDraw);
        if (rec->buffer != None) XFreePixmap(display_, rec->buffer);
        rec->buffer = XCreatePixmap(display_, rec->xid, static_cast<unsigned>(width),
                                    static_cast<unsigned>(height),
                                    static_cast<unsigned>(DefaultDepth(display_, screen_)));
        rec->bufferDraw = XftDrawCreate(display_, rec->buffer, visual_, colormap_);
        rec->bufferWidth = width;
        rec->bufferHeight = height;
    }
    XSetForeground(display_, gc_, rec->cls->backgroundPixel);
    XFillRectangle(display_, rec->buffer, gc_, 0, 0, static_cast<unsigned>(width),
                   static_cast<unsigned>(height));
    return {window, kBufferedPaint};
}

void X11WindowSystem::endPaint(NativeWindow window, PaintContext context) {
    WindowRecord* rec = record(window);
    if (rec == nullptr || context.handle != kBufferedPaint || rec->buffer == None) return;
    XCopyArea(display_, rec->buffer, rec->xid, gc_, 0, 0, static_cast<unsigned>(rec->bufferWidth),
              static_cast<unsigned>(rec->bufferHeight), 0, 0);
}

void X11WindowSystem::fillRect(PaintContext context, Rect rect, Colour colour) {
    WindowRecord* rec = record(context.window);
    if (rec == nullptr) return;
    XSetForeground(display_, gc_, pixel(colour));
    XFillRectangle(display_, target(*rec, context), gc_, rect.left, rect.top,
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
    const Drawable to = target(*rec, context);
    XSetForeground(display_, gc_, pixel(fill));
    XFillRectangle(display_, to, gc_, l + aw / 2, t, uw(w - 2 * (aw / 2)), uw(h));
    XFillRectangle(display_, to, gc_, l, t + ah / 2, uw(w), uw(h - 2 * (ah / 2)));
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
    XFillArcs(display_, to, gc_, corners, 4);
    // The pen: one black pixel on the outline.
    XSetForeground(display_, gc_, pixel(0x000000));
    XDrawArcs(display_, to, gc_, corners, 4);
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
    XDrawSegments(display_, to, gc_, edges, 4);
}

void X11WindowSystem::polyline(PaintContext context, std::span<const Point> points, Colour pen) {
    WindowRecord* rec = record(context.window);
    if (rec == nullptr || points.size() < 2) return;
    linePoints_.resize(points.size());
    for (std::size_t i = 0; i < points.size(); ++i) {
        linePoints_[i] = {clampShort(points[i].x), clampShort(points[i].y)};
    }
    XSetForeground(display_, gc_, pixel(pen));
    XDrawLines(display_, target(*rec, context), gc_, linePoints_.data(),
               static_cast<int>(linePoints_.size()), CoordModeOrigin);
}

void X11WindowSystem::textOut(PaintContext context, std::int32_t x, std::int32_t y,
                              std::string_view text, std::int32_t fontHeight, Colour textColour,
                              Colour background) {
    WindowRecord* rec = record(context.window);
    if (rec == nullptr || text.empty()) return;
    if (target(*rec, context) == rec->buffer) {
        drawTextCell(rec->bufferDraw, x, y, text, fontHeight, textColour, background);
        return;
    }
    if (rec->draw == nullptr) rec->draw = XftDrawCreate(display_, rec->xid, visual_, colormap_);
    drawTextCell(rec->draw, x, y, text, fontHeight, textColour, background);
}

Size X11WindowSystem::textExtent(PaintContext, std::string_view text, std::int32_t fontHeight) {
    return {textWidth(text, fontHeight), fontHeight};
}

}  // namespace platform::x11
