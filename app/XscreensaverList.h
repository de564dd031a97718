#pragma once

#include <filesystem>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/CommandLine.h"
#include "settings/FileServices.h"

namespace moonglow {

// How the saver appears in xscreensaver's list: the host adds the window
// through $XSCREENSAVER_WINDOW.
inline constexpr std::string_view XscreensaverCommand = "moonglow --root";

// Where xscreensaver's standard settings (its app-defaults file) live on the
// common distributions, most likely first.
inline const std::vector<std::filesystem::path> XscreensaverAppDefaults = {
    "/etc/X11/app-defaults/XScreenSaver",
    "/usr/share/X11/app-defaults/XScreenSaver",
    "/usr/lib/X11/app-defaults/XScreenSaver",
    "/usr/local/share/X11/app-defaults/XScreenSaver",
};

struct TXscreensaverEdit {
  enum TOutcome {
    Added,           // Text is the file to write
    AlreadyPresent,  // the list already runs moonglow: nothing to write
    NoStandardList,  // the file has no list and the standard one was not found
  };
  TOutcome Outcome = NoStandardList;
  std::string Text;
};

// The text of ~/.xscreensaver with moonglow in its "programs" list.
// `userFile` is the file's text, nothing when there is no file; `appDefaults`
// is the text of xscreensaver's app-defaults file (empty when not found).
//
// A file with a list gets one entry at its end, everything else unchanged. A
// file without one runs the standard list, so that list is copied in with the
// entry added: the user keeps every saver they had. A missing file becomes a
// short one holding only that list; xscreensaver takes every other setting
// from its defaults, as it did without a file.
TXscreensaverEdit AddToXscreensaverText(std::optional<std::string_view> userFile,
                                        std::string_view appDefaults);

// `moonglow --add-to-xscreensaver`: adds the saver to $HOME/.xscreensaver.
// Prints one line to `out` (done, already there) or to `err` (why not) and
// returns the exit code: 0, or 1 on failure.
int AddToXscreensaver(
    const TEnvironment& env, IFileServices& files, std::ostream& out, std::ostream& err,
    const std::vector<std::filesystem::path>& appDefaults = XscreensaverAppDefaults);

}  // namespace moonglow
