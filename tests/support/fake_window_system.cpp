// FakeWindowSystem: windows, classes and queue kept in memory; procedures
// called synchronously; every request recorded for the tests.
#include "tests/support/fake_window_system.h"

#include <algorithm>

namespace testsupport {

using platform::LParam;
using platform::LResult;
using platform::NativeWindow;
using platform::WParam;

namespace {

platform::Size defaultMeasure(std::string_view text, std::int32_t fontHeight) {
    std::int32_t width = 0;
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x80) {
            width += fontHeight / 2;
            ++i;
        } else {
            width += fontHeight;
            ++i;
            while (i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) ++i;
        }
    }
    return {width, fontHeight};
}

}  // namespace

FakeWindowSystem::FakeWindowSystem() : measure(defaultMeasure) {
    previous_ = platform::setWindowSystem(this);
}

FakeWindowSystem::~FakeWindowSystem() {
    platform::setWindowSystem(previous_);
}

FakeWindowSystem::Window* FakeWindowSystem::window(NativeWindow handle) {
    auto it = windows_.find(handle);
    if (it == windows_.end() || it->second.destroyed) return nullptr;
    return &it->second;
}

NativeWindow FakeWindowSystem::findByTitle(const std::string& title) const {
    for (const auto& [handle, w] : windows_) {
        if (!w.destroyed && w.title == title) return handle;
    }
    return 0;
}

std::vector<NativeWindow> FakeWindowSystem::childrenOf(NativeWindow handle) const {
    auto it = windows_.find(handle);
    if (it == windows_.end()) return {};
    return it->second.children;
}

bool FakeWindowSystem::viewable(NativeWindow handle) {
    for (Window* w = window(handle); w != nullptr; w = window(w->parent)) {
        if (!w->visible || w->minimized) return false;
        if (w->parent == 0) return true;
    }
    return false;
}

int FakeWindowSystem::invalidationCount(NativeWindow handle) const {
    return static_cast<int>(
        std::count_if(invalidations.begin(), invalidations.end(),
                      [&](const Invalidation& i) { return i.window == handle; }));
}

std::vector<FakeWindowSystem::DrawOp> FakeWindowSystem::drawingOf(NativeWindow handle) const {
    std::vector<DrawOp> ops;
    for (const DrawOp& op : drawing) {
        if (op.window == handle) ops.push_back(op);
    }
    return ops;
}

std::vector<FakeWindowSystem::SentMessage> FakeWindowSystem::sentTo(NativeWindow handle) const {
    std::vector<SentMessage> out;
    for (const SentMessage& m : sentMessages) {
        if (m.window == handle) out.push_back(m);
    }
    return out;
}

void FakeWindowSystem::clearRecords() {
    failedRegistrations = 0;
    invalidations.clear();
    sentMessages.clear();
    defaultProcessed.clear();
    captureCalls.clear();
    showCalls.clear();
    updateCalls.clear();
    paints.clear();
    unbalancedPaints = 0;
    drawing.clear();
    quitCode.reset();
    quitRequests = 0;
    waits = 0;
    waitTimeouts.clear();
    wakeUps = 0;
    trayAdds = 0;
    menus.clear();
    messageBoxes.clear();
    destroyed.clear();
}

bool FakeWindowSystem::registerClass(const platform::WindowClass& windowClass) {
    if (windowClass.name.empty() || classes_.count(windowClass.name) != 0) {
        ++failedRegistrations;
        return false;
    }
    classes_[windowClass.name] = windowClass;
    registeredClasses.push_back(windowClass);
    return true;
}

NativeWindow FakeWindowSystem::createWindow(const platform::WindowCreate& create) {
    if (classes_.count(create.className) == 0) return 0;
    const bool child = (create.style & platform::kWsChild) != 0;
    if (child && window(create.parent) == nullptr) return 0;

    const NativeWindow handle = nextHandle_;
    nextHandle_ += 0x10;
    Window& w = windows_[handle];
    w.handle = handle;
    w.className = create.className;
    w.title = create.title;
    w.style = create.style;
    w.exStyle = create.exStyle;
    w.parent = child ? create.parent : 0;
    w.rect = {create.x, create.y, create.x + create.width, create.y + create.height};
    if (child) windows_[create.parent].children.push_back(handle);

    platform::CreateStruct createStruct{create.createParam};
    if (callProcedure(handle, platform::kWmCreate, 0, reinterpret_cast<LParam>(&createStruct)) ==
        -1) {
        destroyWindow(handle);
        return 0;
    }
    if (child) {
        // Children get their size at creation; top-level windows when first shown.
        Window* created = window(handle);
        if (created == nullptr) return 0;
        created->sized = true;
        callProcedure(handle, platform::kWmSize, platform::kSizeRestored,
                      platform::makeLParam(create.width, create.height));
        callProcedure(handle, platform::kWmMove, 0, platform::makeLParam(create.x, create.y));
    }
    if (Window* created = window(handle); created && (create.style & platform::kWsVisible)) {
        created->visible = true;
    }
    return window(handle) ? handle : 0;
}

void FakeWindowSystem::destroyWindow(NativeWindow handle) {
    Window* w = window(handle);
    if (w == nullptr) return;
    destroyed.push_back(handle);
    callProcedure(handle, platform::kWmDestroy, 0, 0);
    for (NativeWindow child : childrenOf(handle)) destroyWindow(child);
    if (Window* gone = window(handle)) {
        gone->destroyed = true;
        gone->visible = false;
    }
    if (capture_ == handle) capture_ = 0;
    std::erase_if(queue, [&](const SentMessage& m) { return m.window == handle; });
}

void FakeWindowSystem::showWindow(NativeWindow handle, int command) {
    showCalls.emplace_back(handle, command);
    Window* w = window(handle);
    if (w == nullptr) return;
    const bool topLevel = w->parent == 0;
    switch (command) {
        case platform::kSwHide:
            w->visible = false;
            return;
        case platform::kSwMinimize:
            w->visible = true;
            if (!w->minimized) {
                w->minimized = true;
                w->sized = true;
                callProcedure(handle, platform::kWmSize, platform::kSizeMinimized, 0);
            }
            return;
        case platform::kSwRestore:
            w->visible = true;
            if (w->minimized) {
                w->minimized = false;
                callProcedure(handle, platform::kWmSize, platform::kSizeRestored,
                              platform::makeLParam(w->rect.width(), w->rect.height()));
                return;
            }
            break;
        default:
            w->visible = true;
            break;
    }
    if (topLevel && !w->sized) {
        w->sized = true;
        const platform::Rect r = w->rect;
        callProcedure(handle, platform::kWmSize, platform::kSizeRestored,
                      platform::makeLParam(r.width(), r.height()));
        callProcedure(handle, platform::kWmMove, 0, platform::makeLParam(r.left, r.top));
    }
}

void FakeWindowSystem::moveWindow(NativeWindow handle, std::int32_t x, std::int32_t y) {
    Window* w = window(handle);
    if (w == nullptr) return;
    const std::int32_t width = w->rect.width();
    const std::int32_t height = w->rect.height();
    w->rect = {x, y, x + width, y + height};
}

platform::Point FakeWindowSystem::clientOrigin(NativeWindow handle) {
    platform::Point origin;
    for (Window* w = window(handle); w != nullptr; w = window(w->parent)) {
        origin.x += w->rect.left;
        origin.y += w->rect.top;
        if (w->parent == 0) break;
    }
    return origin;
}

platform::Rect FakeWindowSystem::windowRect(NativeWindow handle) {
    Window* w = window(handle);
    if (w == nullptr) return {};
    const platform::Point origin = clientOrigin(handle);
    return {origin.x, origin.y, origin.x + w->rect.width(), origin.y + w->rect.height()};
}

platform::Rect FakeWindowSystem::clientRect(NativeWindow handle) {
    Window* w = window(handle);
    if (w == nullptr) return {};
    return {0, 0, w->rect.width(), w->rect.height()};
}

platform::Point FakeWindowSystem::screenToClient(NativeWindow handle, platform::Point screenPoint) {
    if (window(handle) == nullptr) return screenPoint;
    const platform::Point origin = clientOrigin(handle);
    return {screenPoint.x - origin.x, screenPoint.y - origin.y};
}

std::intptr_t FakeWindowSystem::windowUserData(NativeWindow handle) {
    Window* w = window(handle);
    return w ? w->userData : 0;
}

void FakeWindowSystem::setWindowUserData(NativeWindow handle, std::intptr_t value) {
    if (Window* w = window(handle)) w->userData = value;
}

void FakeWindowSystem::setCapture(NativeWindow handle) {
    captureCalls.push_back({handle});
    if (window(handle) != nullptr) capture_ = handle;
}

void FakeWindowSystem::releaseCapture() {
    captureCalls.push_back({0});
    capture_ = 0;
}

void FakeWindowSystem::invalidate(NativeWindow handle, bool erase) {
    invalidations.push_back({handle, erase});
    if (Window* w = window(handle)) {
        w->dirty = true;
        w->erase = w->erase || erase;
    }
}

void FakeWindowSystem::paintTree(NativeWindow handle) {
    Window* w = window(handle);
    if (w == nullptr) return;
    if (w->dirty && viewable(handle)) callProcedure(handle, platform::kWmPaint, 0, 0);
    for (NativeWindow child : childrenOf(handle)) paintTree(child);
}

void FakeWindowSystem::update(NativeWindow handle) {
    updateCalls.push_back(handle);
    paintTree(handle);
}

platform::PaintContext FakeWindowSystem::beginPaint(NativeWindow handle) {
    paints.push_back(handle);
    if (Window* w = window(handle)) {
        // A double-buffered paint starts from the class colour, as if erased.
        if (w->erase || classes_[w->className].doubleBuffered) {
            DrawOp op;
            op.window = handle;
            op.rect = clientRect(handle);
            op.fill = classes_[w->className].background;
            drawing.push_back(op);
        }
        w->dirty = false;
        w->erase = false;
    }
    const std::uintptr_t id = nextPaint_++;
    openPaints_[id] = handle;
    return {handle, id};
}

void FakeWindowSystem::endPaint(NativeWindow handle, platform::PaintContext context) {
    auto it = openPaints_.find(context.handle);
    if (it == openPaints_.end() || it->second != handle) {
        ++unbalancedPaints;
        return;
    }
    openPaints_.erase(it);
}

void FakeWindowSystem::fillRect(platform::PaintContext context, platform::Rect rect,
                                platform::Colour colour) {
    DrawOp op;
    op.window = context.window;
    op.rect = rect;
    op.fill = colour;
    drawing.push_back(op);
}

void FakeWindowSystem::roundRect(platform::PaintContext context, platform::Rect rect,
                                 std::int32_t ellipseWidth, std::int32_t ellipseHeight,
                                 platform::Colour fill) {
    DrawOp op;
    op.kind = DrawOp::RoundRect;
    op.window = context.window;
    op.rect = rect;
    op.ellipseWidth = ellipseWidth;
    op.ellipseHeight = ellipseHeight;
    op.fill = fill;
    drawing.push_back(op);
}

void FakeWindowSystem::polyline(platform::PaintContext context,
                                std::span<const platform::Point> points, platform::Colour pen) {
    DrawOp op;
    op.kind = DrawOp::Polyline;
    op.window = context.window;
    op.points.assign(points.begin(), points.end());
    op.pen = pen;
    drawing.push_back(op);
}

void FakeWindowSystem::textOut(platform::PaintContext context, std::int32_t x, std::int32_t y,
                               std::string_view text, std::int32_t fontHeight,
                               platform::Colour textColour, platform::Colour background) {
    DrawOp op;
    op.kind = DrawOp::Text;
    op.window = context.window;
    op.x = x;
    op.y = y;
    op.text = std::string(text);
    op.fontHeight = fontHeight;
    op.textColour = textColour;
    op.background = background;
    drawing.push_back(op);
}

platform::Size FakeWindowSystem::textExtent(platform::PaintContext, std::string_view text,
                                            std::int32_t fontHeight) {
    return measure(text, fontHeight);
}

LResult FakeWindowSystem::callProcedure(NativeWindow handle, std::uint32_t message, WParam wParam,
                                        LParam lParam) {
    Window* w = window(handle);
    if (w == nullptr) return 0;
    auto cls = classes_.find(w->className);
    if (cls == classes_.end() || cls->second.proc == nullptr) return 0;
    return cls->second.proc(handle, message, wParam, lParam);
}

LResult FakeWindowSystem::sendMessage(NativeWindow handle, std::uint32_t message, WParam wParam,
                                      LParam lParam) {
    sentMessages.push_back({handle, message, wParam, lParam});
    return callProcedure(handle, message, wParam, lParam);
}

void FakeWindowSystem::postMessage(NativeWindow handle, std::uint32_t message, WParam wParam,
                                   LParam lParam) {
    queue.push_back({handle, message, wParam, lParam});
}

void FakeWindowSystem::postQuitMessage(int exitCode) {
    ++quitRequests;
    quitCode = exitCode;
    quitPending_ = true;
}

std::optional<platform::Message> FakeWindowSystem::nextMessage(bool remove) {
    if (!queue.empty()) {
        const SentMessage m = queue.front();
        if (remove) queue.erase(queue.begin());
        return platform::Message{m.window, m.message, m.wParam, m.lParam};
    }
    if (quitPending_) {
        if (remove) quitPending_ = false;
        return platform::Message{0, platform::kWmQuit, static_cast<WParam>(*quitCode), 0};
    }
    for (auto& [handle, w] : windows_) {
        if (!w.destroyed && w.dirty && viewable(handle)) {
            return platform::Message{handle, platform::kWmPaint, 0, 0};
        }
    }
    return std::nullopt;
}

bool FakeWindowSystem::peekMessage() {
    return nextMessage(false).has_value();
}

bool FakeWindowSystem::getMessage(platform::Message& message) {
    auto next = nextMessage(true);
    if (!next) {
        ++waits;
        if (whenIdle) whenIdle();
        next = nextMessage(true);
    }
    if (!next) {
        message = {0, platform::kWmQuit, kStarved, 0};
        return false;
    }
    message = *next;
    return message.message != platform::kWmQuit;
}

LResult FakeWindowSystem::dispatchMessage(const platform::Message& message) {
    return callProcedure(message.window, message.message, message.wParam, message.lParam);
}

bool FakeWindowSystem::waitMessage(int timeoutMs) {
    ++waits;
    waitTimeouts.push_back(timeoutMs);
    if (!peekMessage() && whenIdle) whenIdle();
    return peekMessage();
}

LResult FakeWindowSystem::defWindowProc(NativeWindow handle, std::uint32_t message, WParam wParam,
                                        LParam lParam) {
    defaultProcessed.push_back({handle, message, wParam, lParam});
    switch (message) {
        case platform::kWmClose:
            destroyWindow(handle);
            return 0;
        case platform::kWmPaint:
            if (Window* w = window(handle)) w->dirty = w->erase = false;
            return 0;
        case platform::kWmCreate:
            return 0;
        default:
            return defaultResult;
    }
}

bool FakeWindowSystem::addTrayIcon(const platform::TrayIcon& icon) {
    ++trayAdds;
    if (trayIcons.count(icon.id) != 0) return false;
    trayIcons[icon.id] = icon;
    return true;
}

void FakeWindowSystem::removeTrayIcon(NativeWindow, std::uint32_t id) {
    trayIcons.erase(id);
}

std::uint32_t FakeWindowSystem::trackPopupMenu(NativeWindow owner, const platform::PopupMenu& menu,
                                               platform::Point at) {
    menus.push_back({owner, menu, at});
    if (menuChoice != 0) postMessage(owner, platform::kWmCommand, menuChoice, 0);
    return menuChoice;
}

int FakeWindowSystem::messageBox(NativeWindow owner, std::string_view text,
                                 std::string_view caption, std::uint32_t flags) {
    messageBoxes.push_back({owner, std::string(text), std::string(caption), flags});
    if (duringMessageBox) duringMessageBox();
    return platform::kIdOk;
}

}  // namespace testsupport
