// Windows virtual-key codes and their set-1 keyboard scan codes for the US
// layout: portable tables shared by every input injector and by the tests.
#pragma once

#include <cstdint>

namespace platform::vk {

inline constexpr int kBack = 0x08;
inline constexpr int kTab = 0x09;
inline constexpr int kClear = 0x0C;
inline constexpr int kReturn = 0x0D;
inline constexpr int kShift = 0x10;
inline constexpr int kControl = 0x11;
inline constexpr int kMenu = 0x12;  // Alt
inline constexpr int kPause = 0x13;
inline constexpr int kCapital = 0x14;  // Caps Lock
inline constexpr int kKanji = 0x19;    // Japanese keyboards: 半角/全角
inline constexpr int kEscape = 0x1B;
inline constexpr int kConvert = 0x1C;     // Japanese keyboards: 変換
inline constexpr int kNonConvert = 0x1D;  // Japanese keyboards: 無変換
inline constexpr int kSpace = 0x20;
inline constexpr int kPrior = 0x21;  // Page Up
inline constexpr int kNext = 0x22;   // Page Down
inline constexpr int kEnd = 0x23;
inline constexpr int kHome = 0x24;
inline constexpr int kLeft = 0x25;
inline constexpr int kUp = 0x26;
inline constexpr int kRight = 0x27;
inline constexpr int kDown = 0x28;
inline constexpr int kSnapshot = 0x2C;  // Print Screen
inline constexpr int kInsert = 0x2D;
inline constexpr int kDelete = 0x2E;
inline constexpr int k0 = 0x30;  // '0' to '9' are 0x30 to 0x39
inline constexpr int k9 = 0x39;
inline constexpr int kA = 0x41;  // 'A' to 'Z' are 0x41 to 0x5A
inline constexpr int kZ = 0x5A;
inline constexpr int kLWin = 0x5B;
inline constexpr int kRWin = 0x5C;
inline constexpr int kApps = 0x5D;     // context-menu key
inline constexpr int kNumpad0 = 0x60;  // numeric keypad 0 to 9 are 0x60 to 0x69
inline constexpr int kNumpad9 = 0x69;
inline constexpr int kMultiply = 0x6A;
inline constexpr int kAdd = 0x6B;
inline constexpr int kSeparator = 0x6C;
inline constexpr int kSubtract = 0x6D;
inline constexpr int kDecimal = 0x6E;
inline constexpr int kDivide = 0x6F;
inline constexpr int kF1 = 0x70;  // F1 to F24 are 0x70 to 0x87
inline constexpr int kF12 = 0x7B;
inline constexpr int kF24 = 0x87;
inline constexpr int kNumLock = 0x90;
inline constexpr int kScroll = 0x91;  // Scroll Lock
inline constexpr int kLShift = 0xA0;
inline constexpr int kRShift = 0xA1;
inline constexpr int kLControl = 0xA2;
inline constexpr int kRControl = 0xA3;
inline constexpr int kLMenu = 0xA4;
inline constexpr int kRMenu = 0xA5;
inline constexpr int kOem1 = 0xBA;       // ;:
inline constexpr int kOemPlus = 0xBB;    // =+
inline constexpr int kOemComma = 0xBC;   // ,<
inline constexpr int kOemMinus = 0xBD;   // -_
inline constexpr int kOemPeriod = 0xBE;  // .>
inline constexpr int kOem2 = 0xBF;       // /?
inline constexpr int kOem3 = 0xC0;       // `~
inline constexpr int kOem4 = 0xDB;       // [{
inline constexpr int kOem5 = 0xDC;       // \|
inline constexpr int kOem6 = 0xDD;       // ]}
inline constexpr int kOem7 = 0xDE;       // '"
inline constexpr int kOem102 = 0xE2;     // the extra key left of Z on 105-key boards
// Japanese keyboards: 英数 (Caps Lock), カタカナ, ひらがな.
inline constexpr int kDbeAlphanumeric = 0xF0;
inline constexpr int kDbeKatakana = 0xF1;
inline constexpr int kDbeHiragana = 0xF2;

// The set-1 scan code of a virtual key on a US keyboard, without the E0
// prefix of the extended keys: what the Windows virtual-key to scan-code
// mapping gives for that layout. 0 for codes without a key.
constexpr std::uint16_t usScanCode(int virtualKey) {
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

// Keys whose scan code is sent with the E0 prefix: the navigation cluster,
// the right-hand Ctrl and Alt, the Windows and menu keys, keypad divide and
// Num Lock. A scan-code key stroke of one of these must say so, or it arrives
// as the numeric-keypad key that shares its scan code.
constexpr bool isExtendedKey(int virtualKey) {
    switch (virtualKey) {
        case kPrior:
        case kNext:
        case kEnd:
        case kHome:
        case kLeft:
        case kUp:
        case kRight:
        case kDown:
        case kInsert:
        case kDelete:
        case kLWin:
        case kRWin:
        case kApps:
        case kDivide:
        case kNumLock:
        case kRControl:
        case kRMenu:
            return true;
        default:
            return false;
    }
}

}  // namespace platform::vk
