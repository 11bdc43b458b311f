// XrStatusWatch: about once a second, the OpenXR status line of the main window from the block's
// status area (or from why the program cannot write the block), and the graph's mark when a
// game begins to read the walk; and what --xr-status prints.
#pragma once

#include <cstdint>
#include <string>

#include "output/xr_output.h"

class UIEx;

class XrStatusWatch {
  public:
    void poll(const XrOutput& output, UIEx& ui);

  private:
    std::int64_t nextNs_ = 0;
    std::int64_t startedNs_ = 0;  // the game last marked
};

// What --xr-status prints: the window's OpenXR status line, then the status's fields.
std::string xrStatusReport();
