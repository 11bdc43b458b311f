// The last-chance handler of the termination seam, shared by every backend.
#include <utility>

#include "platform/termination.h"

namespace platform {

namespace {
std::function<void()>& handler() {
    static std::function<void()> h;
    return h;
}
}  // namespace

void setLastChanceHandler(std::function<void()> h) {
    handler() = std::move(h);
}

void runLastChanceHandler() {
    // Taken out first, so that it runs once even if it ends up here again.
    std::function<void()> h = std::move(handler());
    handler() = nullptr;
    if (h) h();
}

}  // namespace platform
