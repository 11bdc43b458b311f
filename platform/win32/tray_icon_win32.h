// The notification-area icons of the program, kept so that they come back when the taskbar is
// created anew (Explorer restarted, or started after the program at sign-in).
#pragma once

#include <windows.h>

#include "platform/window_system.h"

namespace platform::win32 {

// Adds the icon with Shell_NotifyIconA(NIM_ADD) and keeps its record, whether or not the add
// succeeded. Returns the result of the add.
bool addKeptTrayIcon(const TrayIcon& icon);

// Removes the icon with Shell_NotifyIconA(NIM_DELETE) and forgets its record.
void removeKeptTrayIcon(HWND window, UINT id);

// Whether every kept icon is in the notification area now: an icon that the shell no longer
// knows is added again with its record. Without a kept icon: whether a taskbar exists.
bool keptTrayIconsShown();

// Called by the window procedure layer with every message that a window receives: when it is
// the taskbar's "TaskbarCreated" broadcast, adds the icons of that window again.
void noteTaskbarMessage(HWND window, UINT message);

}  // namespace platform::win32
