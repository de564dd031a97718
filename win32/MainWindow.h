#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "app/CommandLine.h"
#include "app/RunMode.h"
#include "settings/FileServices.h"

namespace moonglow {
class IPlatform;
}

namespace moonglow::win32 {

class IDialogKeys;

// The one main window of a run, as the application object drives it: the
// saver window or the options dialog.
class IMainWindow {
 public:
  virtual ~IMainWindow() = default;
  // Null when no window was made (a preview whose parent does not exist).
  virtual HWND Window() const = 0;
  // The window has closed: the message loop is to end.
  virtual bool Closed() const = 0;
  // The window's destruction, with what its form does then; may throw.
  virtual void Destroy() = 0;
  // The saver's message filter applies while this window is the main one.
  virtual bool FiltersSystemCommands() const = 0;
  // A dialog's keyboard handling, taken before dispatch; null for others.
  virtual IDialogKeys* DialogKeys() = 0;
};

using TErrorBox = std::function<void(const std::string& message)>;

// The options dialog over the settings file at `settingsPath`, written
// through `files`, made and shown; `onClose` runs when it closes.
std::unique_ptr<IMainWindow> NewOptDialog(HINSTANCE instance, std::string settingsPath,
                                          TErrorBox showError, std::function<void()> onClose,
                                          IFileServices& files);

}  // namespace moonglow::win32
