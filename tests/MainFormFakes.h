#pragma once

// Stand-ins for the platform, the toolkit's window and the show thread, for
// the saver window's tests and its password gate's. Each records what it is
// asked to do in one shared log, in order.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/Main.h"
#include "app/Platform.h"

namespace moonglow::testing {

using TLog = std::vector<std::string>;

class TFakePasswordCheck final : public IPasswordCheck {
 public:
  TFakePasswordCheck(TLog& log, bool answer, std::function<void()> whileOpen)
      : Log(log), Answer(answer), WhileOpen(std::move(whileOpen)) {}
  ~TFakePasswordCheck() override { Log.push_back("unload-password"); }
  bool Verify(TWindowHandle owner) override {
    Log.push_back("verify " + std::to_string(owner));
    // What the prompt's own message loop delivers meanwhile.
    if (WhileOpen) WhileOpen();
    return Answer;
  }
  TLog& Log;
  bool Answer;
  std::function<void()> WhileOpen;
};

class TFakePlatform final : public IPlatform {
 public:
  explicit TFakePlatform(TLog& log) : Log(log) {}
  TLockResult AcquireInstanceLock() override { return TLockResult::Acquired; }
  void ReleaseInstanceLock() override {}
  bool IsNT() override { return NT; }
  bool ScreenSaveUsePassword() override { return UsePassword; }
  std::unique_ptr<IPasswordCheck> OpenPasswordCheck() override {
    if (!HasPasswordService) return nullptr;
    const bool answer = Answers.empty() ? true : Answers.front();
    if (!Answers.empty()) Answers.erase(Answers.begin());
    return std::make_unique<TFakePasswordCheck>(Log, answer, WhilePromptOpen);
  }
  void SetScreenSaverRunning(bool running) override {
    Log.push_back(running ? "notice-on" : "notice-off");
  }
  void CloseImeStatusWindow(TWindowHandle) override { Log.push_back("close-ime"); }
  void ChangePassword(TWindowHandle owner) override {
    Log.push_back("change-password " + std::to_string(owner));
  }
  TWindowHandle ForegroundWindow() override { return 0; }

  // The 95 family with the user's password set: the saver asks for it, and
  // the check answers `answers` in turn (then yes).
  void AskForPassword(std::vector<bool> answers = {}) {
    NT = false;
    UsePassword = true;
    Answers = std::move(answers);
  }

  TLog& Log;
  bool NT = true;
  bool UsePassword = false;
  bool HasPasswordService = true;
  std::vector<bool> Answers;  // the password check's answers, in turn
  std::function<void()> WhilePromptOpen;
};

class TFakeHost final : public IMainFormHost {
 public:
  explicit TFakeHost(TLog& log) : Log(log) {}
  TWindowHandle Handle() override { return 77; }
  void SetPosition(std::int32_t left, std::int32_t top) override { Position = {left, top}; }
  void SetSize(std::int32_t width, std::int32_t height) override {
    Width = width;
    Height = height;
  }
  std::int32_t ClientWidth() override { return Width; }
  std::int32_t ClientHeight() override { return Height; }
  std::int32_t CanvasWidth() override { return Width * Scale; }
  std::int32_t CanvasHeight() override { return Height * Scale; }
  bool WindowShown(TWindowHandle) override { return ParentShown; }
  void SetPresenting(bool on) override { Presenting = on; }
  std::int32_t ScreenWidth() override { return 1024; }
  std::int32_t ScreenHeight() override { return 768; }
  std::optional<TRect> WindowRect(TWindowHandle window) override {
    if (window != ParentId || !ParentExists) return std::nullopt;
    return ParentRect;
  }
  TPoint CursorPos() override { return Cursor; }
  void ShowCursor(bool show) override {
    Log.push_back(show ? "cursor-show" : "cursor-hide");
    CursorCount += show ? 1 : -1;
  }
  // As the toolkit does: ask the form, then close when it agrees.
  void Close() override {
    ++CloseRequests;
    if (Form && Form->FormCloseQuery()) Closed = true;
  }
  void ShowError(const std::string& message) override {
    Log.push_back("error: " + message);
    if (WhileErrorShown) WhileErrorShown();
  }

  TLog& Log;
  TMainForm* Form = nullptr;
  TPoint Position{-1, -1};
  std::int32_t Width = 483, Height = 540;
  std::int32_t Scale = 1;  // device pixels per toolkit unit
  bool ParentShown = true;
  bool Presenting = false;
  TPoint Cursor{500, 400};
  int CursorCount = 0;  // shown minus hidden, as the system counts
  TWindowHandle ParentId = 3000;
  TRect ParentRect{100, 50, 252, 162};
  bool ParentExists = true;
  int CloseRequests = 0;
  bool Closed = false;
  std::function<void()> WhileErrorShown;  // what the box's own loop delivers
};

class TFakeShowThread final : public IShowThread {
 public:
  explicit TFakeShowThread(TLog& log) : Log(log) {}
  void Resume() override { Log.push_back("resume"); }
  void Suspend() override { Log.push_back("suspend"); }
  void Terminate() override { Log.push_back("terminate"); }
  void WaitFor() override { Log.push_back("join"); }
  TLog& Log;
};

}  // namespace moonglow::testing
