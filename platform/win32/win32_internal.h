// Shared state of the Windows backends: how the window procedure layer reports the end of
// the Windows session to the termination-request watcher.
#pragma once

namespace platform::win32 {

// Called by the window procedure layer when a window receives WM_ENDSESSION telling that
// the session ends. Returns once the request is recorded.
void noteSessionEnding();

}  // namespace platform::win32
