// The native window handle as the core passes it around: an HWND on Windows,
// an X Window id on Linux; 0 means no window.
#pragma once

#include <cstdint>

namespace platform {
using NativeWindow = std::uintptr_t;
}
