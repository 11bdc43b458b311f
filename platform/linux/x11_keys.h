// The one table between Windows virtual-key codes and X keysyms: the X11
// window system names key events with it, the XTest injector finds keys by it.
#pragma once

#include <X11/X.h>

#include <cstdint>

namespace platform::x11 {

// The virtual-key code that a key message carries for a keysym, 0 when the
// keysym has none. Both sides of a modifier give its generic code (VK_SHIFT,
// VK_CONTROL, VK_MENU), as Windows key messages do.
std::uint32_t virtualKeyOf(KeySym keysym);

// The keysym of the key to press for a virtual-key code (NoSymbol when no key
// has it). The sided modifier codes name their own side.
KeySym keysymOf(int virtualKey);

// The virtual-key code of a key event, from the keysyms of the key's first
// two levels and the NumLock and Shift state before it, as Windows names the
// key: a keypad key gives its digit or decimal point only with NumLock on and
// Shift up, its navigation key otherwise.
std::uint32_t virtualKeyOfKey(KeySym first, KeySym second, bool numLock, bool shift);

}  // namespace platform::x11
