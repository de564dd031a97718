#pragma once

#include <optional>
#include <string>
#include <utility>

#include "app/CommandLine.h"
#include "show/Canvas.h"

struct xcb_connection_t;

namespace moonglow {

// The application's X server connection; none unless it runs on xcb.
xcb_connection_t* X11Connection();

// Why no display can be reached, or nothing when one can (or when Qt has been
// told to use another platform, which then reports for itself). Called before
// the application object exists, so that a missing display is a clear message
// rather than an abort.
std::optional<std::string> DisplayProblem();

// The size of another X11 window, from the X server (left and top relative to
// its parent); nothing when the window does not exist or the application does
// not run on X11.
std::optional<TRect> X11WindowRect(TWindowHandle window);

// Whether another X11 window is viewable: it and all its ancestors are
// mapped. True when the application does not run on X11 or the server cannot
// say: a window that may be seen is not to be taken for unseen.
bool X11WindowShown(TWindowHandle window);

// Whether the display is on, by the X server's display power state (the DPMS
// extension): nothing when the server does not have it or the application
// does not run on X11.
std::optional<bool> X11DisplayOn();

// Asks the X server to tell `window` when it becomes wholly covered or
// visible again (VisibilityNotify); Qt does not ask for these itself.
void X11WatchCovering(TWindowHandle window);

// For an X event: the window it says is now wholly covered (true) or not
// (false); nothing for any other event.
std::optional<std::pair<TWindowHandle, bool>> X11CoveringEvent(const void* event);

// The root window of the application's screen; 0 when the application does
// not run on X11.
TWindowHandle X11RootWindow();

}  // namespace moonglow
