// Painting in the X11 window system: invalidation marks, the paint of marked
// windows, and the drawing requests of a paint, recorded and then drawn.
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

PaintContext X11WindowSystem::beginPaint(NativeWindow window) {
    if (WindowRecord* rec = record(window)) {
        if (rec->erase) {
            XClearWindow(display_, rec->xid);
            rec->lastPaintShown = false;
        }
        rec->erase = false;
        rec->dirty = false;
        dirty_.erase(window);
    }
    const std::uintptr_t id = nextPaint_++;
    openPaints_[id].window = window;
    return {window, id};
}

void X11WindowSystem::endPaint(NativeWindow, PaintContext context) {
    auto it = openPaints_.find(context.handle);
    if (it == openPaints_.end()) return;
    OpenPaint paint = std::move(it->second);
    openPaints_.erase(it);
    WindowRecord* rec = record(paint.window);
    if (rec == nullptr) return;
    // Every drawing request is opaque, so repeating the last paint on a
    // window that still shows it would change no pixel.
    if (rec->lastPaintShown && paint.ops == rec->lastPaint) return;
    runPaint(*rec, paint.ops);
    rec->lastPaint = std::move(paint.ops);
    rec->lastPaintShown = true;
}

void X11WindowSystem::runPaint(WindowRecord& rec, const std::vector<PaintOp>& ops) {
    for (const PaintOp& op : ops) {
        switch (op.kind) {
            case PaintOp::Fill:
                XSetForeground(display_, gc_, pixel(op.fill));
                XFillRectangle(display_, rec.xid, gc_, op.rect.left, op.rect.top,
                               static_cast<unsigned>(std::max(0, op.rect.width())),
                               static_cast<unsigned>(std::max(0, op.rect.height())));
                break;
            case PaintOp::RoundRect: {
                const int l = op.rect.left;
                const int t = op.rect.top;
                const int w = op.rect.width();
                const int h = op.rect.height();
                if (w <= 0 || h <= 0) break;
                const int aw = std::clamp(op.ellipseWidth, 1, w);
                const int ah = std::clamp(op.ellipseHeight, 1, h);
                const auto uw = [](int v) { return static_cast<unsigned>(std::max(0, v)); };
                XSetForeground(display_, gc_, pixel(op.fill));
                XFillRectangle(display_, rec.xid, gc_, l + aw / 2, t, uw(w - 2 * (aw / 2)), uw(h));
                XFillRectangle(display_, rec.xid, gc_, l, t + ah / 2, uw(w), uw(h - 2 * (ah / 2)));
                XArc corners[4] = {
                    {static_cast<short>(l), static_cast<short>(t),
                     static_cast<unsigned short>(aw - 1), static_cast<unsigned short>(ah - 1),
                     90 * 64, 90 * 64},
                    {static_cast<short>(l + w - aw), static_cast<short>(t),
                     static_cast<unsigned short>(aw - 1), static_cast<unsigned short>(ah - 1), 0,
                     90 * 64},
                    {static_cast<short>(l), static_cast<short>(t + h - ah),
                     static_cast<unsigned short>(aw - 1), static_cast<unsigned short>(ah - 1),
                     180 * 64, 90 * 64},
                    {static_cast<short>(l + w - aw), static_cast<short>(t + h - ah),
                     static_cast<unsigned short>(aw - 1), static_cast<unsigned short>(ah - 1),
                     270 * 64, 90 * 64},
                };
                XFillArcs(display_, rec.xid, gc_, corners, 4);
                // The pen: one black pixel on the outline.
                XSetForeground(display_, gc_, pixel(0x000000));
                XDrawArcs(display_, rec.xid, gc_, corners, 4);
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
                XDrawSegments(display_, rec.xid, gc_, edges, 4);
                break;
            }
            case PaintOp::Text:
                if (rec.draw == nullptr) {
                    rec.draw = XftDrawCreate(display_, rec.xid, visual_, colormap_);
                }
                drawTextCell(rec.draw, op.x, op.y, op.text, op.fontHeight, op.textColour,
                             op.background);
                break;
        }
    }
}

void X11WindowSystem::addOp(PaintContext context, PaintOp op) {
    auto it = openPaints_.find(context.handle);
    if (it != openPaints_.end()) it->second.ops.push_back(std::move(op));
}

void X11WindowSystem::fillRect(PaintContext context, Rect rect, Colour colour) {
    PaintOp op;
    op.kind = PaintOp::Fill;
    op.rect = rect;
    op.fill = colour;
    addOp(context, std::move(op));
}

void X11WindowSystem::roundRect(PaintContext context, Rect rect, std::int32_t ellipseWidth,
                                std::int32_t ellipseHeight, Colour fill) {
    PaintOp op;
    op.kind = PaintOp::RoundRect;
    op.rect = rect;
    op.ellipseWidth = ellipseWidth;
    op.ellipseHeight = ellipseHeight;
    op.fill = fill;
    addOp(context, std::move(op));
}

void X11WindowSystem::textOut(PaintContext context, std::int32_t x, std::int32_t y,
                              std::string_view text, std::int32_t fontHeight, Colour textColour,
                              Colour background) {
    if (text.empty()) return;
    PaintOp op;
    op.kind = PaintOp::Text;
    op.x = x;
    op.y = y;
    op.text = std::string(text);
    op.fontHeight = fontHeight;
    op.textColour = textColour;
    op.background = background;
    addOp(context, std::move(op));
}

Size X11WindowSystem::textExtent(PaintContext, std::string_view text, std::int32_t fontHeight) {
    return {textWidth(text, fontHeight), fontHeight};
}

}  // namespace platform::x11
