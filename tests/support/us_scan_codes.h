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

    // Every other key that has one.
    constexpr struct {
        int key;
        std::uint8_t code;
    } kOthers[] = {
        {kBack, 0x0E},      {kTab, 0x0F},      {kClear, 0x4C},    {kReturn, 0x1C},
        {kShift, 0x2A},     {kControl, 0x1D},  {kMenu, 0x38},     {kCapital, 0x3A},
        {kEscape, 0x01},    {kSpace, 0x39},    {kPrior, 0x49},    {kNext, 0x51},
        {kEnd, 0x4F},       {kHome, 0x47},     {kLeft, 0x4B},     {kUp, 0x48},
        {kRight, 0x4D},     {kDown, 0x50},     {kInsert, 0x52},   {kDelete, 0x53},
        {kLWin, 0x5B},      {kRWin, 0x5C},     {kApps, 0x5D},     {kMultiply, 0x37},
        {kAdd, 0x4E},       {kSubtract, 0x4A}, {kDecimal, 0x53},  {kDivide, 0x35},
        {kNumLock, 0x45},   {kScroll, 0x46},   {kLShift, 0x2A},   {kRShift, 0x36},
        {kLControl, 0x1D},  {kRControl, 0x1D}, {kLMenu, 0x38},    {kRMenu, 0x38},
        {kOem1, 0x27},      {kOemPlus, 0x0D},  {kOemComma, 0x33}, {kOemMinus, 0x0C},
        {kOemPeriod, 0x34}, {kOem2, 0x35},     {kOem3, 0x29},     {kOem4, 0x1A},
        {kOem5, 0x2B},      {kOem6, 0x1B},     {kOem7, 0x28},     {kOem102, 0x56},
    };
    for (const auto& other : kOthers) {
        if (other.key == virtualKey) return other.code;
    }
    return 0;
}

}  // namespace testsupport
