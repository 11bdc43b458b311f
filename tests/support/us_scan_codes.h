// The set-1 scan codes of the US layout by Windows virtual-key code: what the
// Windows mapping gives there, for the tests' injector and the X keymap checks.
#pragma once

#include <cstdint>

#include "platform/virtual_keys.h"

namespace testsupport {

// The set-1 scan code of a virtual key on a US keyboard, without the E0
// prefix of the extended keys: what the Windows virtual-key to scan-code
// mapping gives for that layout. 0 for codes without a key.
constexpr std::uint16_t usScanCode(int virtualKey) {
    using namespace platform::vk;
    // Letters in alphabetical order.
    constexpr std::uint8_t kLetters[26] = {
        0x1E, 0x30, 0x2E, 0x20, 0x12, 0x21, 0x22, 0x23, 0x17, 0x24, 0x25, 0x26, 0x32,
        0x31, 0x18, 0x19, 0x10, 0x13, 0x1F, 0x14, 0x16, 0x2F, 0x11, 0x2D, 0x15, 0x2C,
    };
    // Numeric keypad 0 to 9.
    constexpr std::uint8_t kNumpad[10] = {0x52, 0x4F, 0x50, 0x51, 0x4B,
                                          0x4C, 0x4D, 0x47, 0x48, 0x49};
    // F13 to F24.
    constexpr std::uint8_t kHighFunction[12] = {0x64, 0x65, 0x66, 0x67, 0x68, 0x69,
                                                0x6A, 0x6B, 0x6C, 0x6D, 0x6E, 0x76};

    if (virtualKey >= kA && virtualKey <= kZ) return kLetters[virtualKey - kA];
    if (virtualKey == k0) return 0x0B;
    if (virtualKey > k0 && virtualKey <= k9) return static_cast<std::uint16_t>(virtualKey - 0x2F);
    if (virtualKey >= kNumpad0 && virtualKey <= kNumpad9) return kNumpad[virtualKey - kNumpad0];
    if (virtualKey >= kF1 && virtualKey <= kF1 + 9) {
        return static_cast<std::uint16_t>(0x3B + virtualKey - kF1);
    }
    if (virtualKey == kF1 + 10) return 0x57;  // F11
    if (virtualKey == kF12) return 0x58;
    if (virtualKey > kF12 && virtualKey <= kF24) return kHighFunction[virtualKey - kF12 - 1];

    switch (virtualKey) {
        case kBack:
            return 0x0E;
        case kTab:
            return 0x0F;
        case kClear:
            return 0x4C;
        case kReturn:
            return 0x1C;
        case kShift:
            return 0x2A;
        case kControl:
            return 0x1D;
        case kMenu:
            return 0x38;
        case kCapital:
            return 0x3A;
        case kEscape:
            return 0x01;
        case kSpace:
            return 0x39;
        case kPrior:
            return 0x49;
        case kNext:
            return 0x51;
        case kEnd:
            return 0x4F;
        case kHome:
            return 0x47;
        case kLeft:
            return 0x4B;
        case kUp:
            return 0x48;
        case kRight:
            return 0x4D;
        case kDown:
            return 0x50;
        case kInsert:
            return 0x52;
        case kDelete:
            return 0x53;
        case kLWin:
            return 0x5B;
        case kRWin:
            return 0x5C;
        case kApps:
            return 0x5D;
        case kMultiply:
            return 0x37;
        case kAdd:
            return 0x4E;
        case kSubtract:
            return 0x4A;
        case kDecimal:
            return 0x53;
        case kDivide:
            return 0x35;
        case kNumLock:
            return 0x45;
        case kScroll:
            return 0x46;
        case kLShift:
            return 0x2A;
        case kRShift:
            return 0x36;
        case kLControl:
            return 0x1D;
        case kRControl:
            return 0x1D;
        case kLMenu:
            return 0x38;
        case kRMenu:
            return 0x38;
        case kOem1:
            return 0x27;
        case kOemPlus:
            return 0x0D;
        case kOemComma:
            return 0x33;
        case kOemMinus:
            return 0x0C;
        case kOemPeriod:
            return 0x34;
        case kOem2:
            return 0x35;
        case kOem3:
            return 0x29;
        case kOem4:
            return 0x1A;
        case kOem5:
            return 0x2B;
        case kOem6:
            return 0x1B;
        case kOem7:
            return 0x28;
        case kOem102:
            return 0x56;
        default:
            return 0;
    }
}

}  // namespace testsupport
