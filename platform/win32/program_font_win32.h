// The face of the program's font on Windows, picked once: one that has the Japanese glyphs of
// the window's texts where such a face is installed, else the system's own.
#pragma once

#include <windows.h>

#include <string>

namespace platform::win32 {

struct ProgramFace {
    std::wstring name;
    BYTE charset = DEFAULT_CHARSET;
};

// The first installed of ＭＳ Ｐゴシック (what the layout was made for), Meiryo, Yu Gothic and
// MS UI Gothic; else any face with the Japanese character set; else the system's dialog face
// (which shows squares for Japanese: README says which font to install then).
const ProgramFace& programFace();

}  // namespace platform::win32
