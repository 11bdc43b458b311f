// Picks the program's font face from the families the system lists for the Japanese character
// set, once per process.
#include "platform/win32/program_font_win32.h"

#include <algorithm>
#include <iterator>
#include <vector>

namespace platform::win32 {

namespace {

// In order of preference: the layout's own face, then the Japanese UI faces of later Windows
// (under their English and Japanese names, as an English system lists them in English).
constexpr const wchar_t* kPreferred[] = {L"ＭＳ Ｐゴシック", L"MS PGothic", L"Meiryo",
                                         L"メイリオ",        L"Yu Gothic",  L"游ゴシック",
                                         L"MS UI Gothic"};

int CALLBACK collectFace(const LOGFONTW* font, const TEXTMETRICW*, DWORD, LPARAM list) {
    // Faces starting with '@' are the vertical forms of the same fonts.
    if (font->lfFaceName[0] != L'@') {
        reinterpret_cast<std::vector<std::wstring>*>(list)->emplace_back(font->lfFaceName);
    }
    return 1;
}

ProgramFace pickFace() {
    std::vector<std::wstring> japanese;
    HDC screen = GetDC(nullptr);
    LOGFONTW wanted{};
    wanted.lfCharSet = SHIFTJIS_CHARSET;
    EnumFontFamiliesExW(screen, &wanted, collectFace, reinterpret_cast<LPARAM>(&japanese), 0);
    ReleaseDC(nullptr, screen);
    for (const wchar_t* name : kPreferred) {
        if (std::find(japanese.begin(), japanese.end(), name) != japanese.end()) {
            return {name, SHIFTJIS_CHARSET};
        }
    }
    if (!japanese.empty()) return {japanese.front(), SHIFTJIS_CHARSET};
    LOGFONTW system{};
    GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof system, &system);
    return {system.lfFaceName, DEFAULT_CHARSET};
}

}  // namespace

const ProgramFace& programFace() {
    static const ProgramFace face = pickFace();
    return face;
}

}  // namespace platform::win32
