#include "app/XscreensaverList.h"

#include <gtest/gtest.h>

#include <sstream>

#include "tests/FileText.h"

namespace moonglow {
namespace {

namespace fs = std::filesystem;

// The shapes below are those xscreensaver-settings 6 writes and its
// app-defaults file holds, cut down to two or three savers.
const std::string SettingsFile =
    "# XScreenSaver Preferences File\n"
    "timeout:\t0:10:00\n"
    "mode:\t\trandom\n"
    "\n"
    "programs:\t\t\t\t\t\t\t\t      \\\n"
    "\t\t\t\tmaze --root\t\t\t\t    \\n\\\n"
    "- GL: \t\t\t\tsuperquadrics --root\t\t\t    \\n\\\n"
    "-\t\t\t\tnoseguy --root\t\t\t\t    \\n\\\n"
    "\n"
    "\n"
    "pointerHysteresis:  10\n";

const std::string AppDefaults =
    "! comment mentioning *programs: in passing\n"
    "*mode:\t\t\trandom\n"
    "*programs:\t\t\t\t\t\t\t\t      \\\n"
    "\t\t\t\tmaze --root\t\t\t\t    \\n\\\n"
    "\t\t\t\tqix --root\t\t\t\t    \\n\n"
    "\n"
    "*hacks.antmaze.name:        Ant Maze\n";

const std::string Entry = "\t\t\t\tmoonglow --root\t\t\t    \\n\n";

TEST(XscreensaverText, AddsOneEntryAfterTheLastAndKeepsTheRest) {
  // The list's last line goes on into a blank one, which stays its end.
  const TXscreensaverEdit edit = AddToXscreensaverText(SettingsFile, AppDefaults);
  ASSERT_EQ(edit.Outcome, TXscreensaverEdit::Added);
  EXPECT_EQ(edit.Text,
            "# XScreenSaver Preferences File\n"
            "timeout:\t0:10:00\n"
            "mode:\t\trandom\n"
            "\n"
            "programs:\t\t\t\t\t\t\t\t      \\\n"
            "\t\t\t\tmaze --root\t\t\t\t    \\n\\\n"
            "- GL: \t\t\t\tsuperquadrics --root\t\t\t    \\n\\\n"
            "-\t\t\t\tnoseguy --root\t\t\t\t    \\n\\\n"
            "\t\t\t\tmoonglow --root\t\t\t    \\n\\\n"
            "\n"
            "\n"
            "pointerHysteresis:  10\n");
  // Once there, it stays once.
  EXPECT_EQ(AddToXscreensaverText(edit.Text, AppDefaults).Outcome,
            TXscreensaverEdit::AlreadyPresent);
}

TEST(XscreensaverText, AnyEntryRunningMoonglowCounts) {
  for (const char* entry : {"moonglow --root", "-\t\tmoonglow --root", "- GL: moonglow",
                            "\"Fireworks\"  /usr/libexec/xscreensaver/moonglow --root",
                            "default-n: moonglow --pixel-rate 5"}) {
    const std::string file = "programs: maze --root \\n\\\n  " + std::string(entry) + " \\n\n";
    EXPECT_EQ(AddToXscreensaverText(file, "").Outcome, TXscreensaverEdit::AlreadyPresent) << entry;
  }
  for (const char* entry : {"moonglowx --root", "xmoonglow --root", "maze --text moonglow"}) {
    const std::string file = "programs: " + std::string(entry) + " \\n\n";
    EXPECT_EQ(AddToXscreensaverText(file, "").Outcome, TXscreensaverEdit::Added) << entry;
  }
}

TEST(XscreensaverText, OddlyShapedListsStillGetTheEntry) {
  // The value on the name's line, without a closing "\n".
  EXPECT_EQ(AddToXscreensaverText("programs: qix --root\nlock: False\n", "").Text,
            "programs: qix --root \\n\\\n" + Entry + "lock: False\n");
  // An empty list, spread over a continuation.
  EXPECT_EQ(AddToXscreensaverText("programs:  \\\n\nlock: False\n", "").Text,
            "programs:\t\t\\\n" + Entry + "lock: False\n");
  // A file that ends inside the list, without a last line end.
  EXPECT_EQ(AddToXscreensaverText("programs: \\\n  qix --root \\n\\", "").Text,
            "programs: \\\n  qix --root \\n\\\n" + Entry);
  // Windows line ends stay what they were.
  EXPECT_EQ(
      AddToXscreensaverText("programs: \\\r\n  qix --root \\n\r\nx: 1\r\n", "").Text,
      "programs: \\\r\n  qix --root \\n\\\r\n\t\t\t\tmoonglow --root\t\t\t    \\n\r\nx: 1\r\n");
  // A comment is not the list, and the app-defaults spelling is.
  EXPECT_EQ(AddToXscreensaverText("! programs: moonglow\n*programs: qix\n", "").Text,
            "! programs: moonglow\n*programs: qix \\n\\\n" + Entry);
}

TEST(XscreensaverText, WithoutAListTheStandardOneIsCopiedIn) {
  const std::string standardList =
      "programs:\t\t\t\t\t\t\t\t      \\\n"
      "\t\t\t\tmaze --root\t\t\t\t    \\n\\\n"
      "\t\t\t\tqix --root\t\t\t\t    \\n\\\n" +
      Entry;
  TXscreensaverEdit edit = AddToXscreensaverText("timeout: 0:05:00", AppDefaults);
  ASSERT_EQ(edit.Outcome, TXscreensaverEdit::Added);
  EXPECT_EQ(edit.Text, "timeout: 0:05:00\n\n" + standardList);

  edit = AddToXscreensaverText(std::string(), AppDefaults);
  EXPECT_EQ(edit.Text, standardList);

  // No file at all: a short one that says where it came from.
  edit = AddToXscreensaverText(std::nullopt, AppDefaults);
  ASSERT_EQ(edit.Outcome, TXscreensaverEdit::Added);
  EXPECT_TRUE(edit.Text.starts_with("# xscreensaver's standard list")) << edit.Text;
  EXPECT_TRUE(edit.Text.ends_with("\n\n" + standardList)) << edit.Text;
  EXPECT_EQ(AddToXscreensaverText(edit.Text, "").Outcome, TXscreensaverEdit::AlreadyPresent);

  // A standard list that already has it needs nothing from the user's file.
  EXPECT_EQ(AddToXscreensaverText(std::nullopt, "*programs: moonglow --root\n").Outcome,
            TXscreensaverEdit::AlreadyPresent);
  // Nothing to copy: writing the entry alone would hide every standard saver.
  EXPECT_EQ(AddToXscreensaverText("timeout: 0:05:00\n", "*mode: random\n").Outcome,
            TXscreensaverEdit::NoStandardList);
  EXPECT_EQ(AddToXscreensaverText(std::nullopt, "").Outcome, TXscreensaverEdit::NoStandardList);
}

struct TAddRun {
  int ExitCode;
  std::string Out;
  std::string Err;
};

TAddRun Add(const fs::path& home, const fs::path& appDefaults) {
  std::ostringstream out;
  std::ostringstream err;
  const TEnvironment env = [home](std::string_view name) -> std::optional<std::string> {
    if (name == "HOME" && !home.empty()) return home.string();
    return std::nullopt;
  };
  const int code = AddToXscreensaver(env, PortableFileServices(), out, err,
                                     {"/nonexistent/XScreenSaver", appDefaults});
  return {code, out.str(), err.str()};
}

TEST(XscreensaverFile, CreatesAddsOnceAndKeepsPermissions) {
  TScratchDir dir("xss-");
  const fs::path defaults = dir.Path() / "XScreenSaver";
  Spit(defaults, AppDefaults);
  const fs::path file = dir.Path() / ".xscreensaver";

  TAddRun run = Add(dir.Path(), defaults);
  EXPECT_EQ(run.ExitCode, 0);
  EXPECT_EQ(run.Out,
            "moonglow added to a new " + file.string() + "; pick it in xscreensaver-settings\n");
  EXPECT_TRUE(Slurp(file).ends_with(Entry));

  Spit(file, SettingsFile);
  fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);
  run = Add(dir.Path(), defaults);
  EXPECT_EQ(run.ExitCode, 0);
  EXPECT_EQ(Slurp(file), AddToXscreensaverText(SettingsFile, "").Text);
  EXPECT_EQ(fs::status(file).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);

  const std::string before = Slurp(file);
  run = Add(dir.Path(), defaults);
  EXPECT_EQ(run.ExitCode, 0);
  EXPECT_EQ(run.Out, "moonglow is already in xscreensaver's list (" + file.string() + ")\n");
  EXPECT_EQ(Slurp(file), before);
  // Nothing but the file itself is left in the folder.
  std::size_t entries = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir.Path())) ++entries;
  EXPECT_EQ(entries, 2u);
}

TEST(XscreensaverFile, WritesThroughALinkAndFailsWithOneLine) {
  TScratchDir dir("xss-");
  const fs::path defaults = dir.Path() / "XScreenSaver";
  Spit(defaults, AppDefaults);
  fs::create_directories(dir.Path() / "dotfiles");
  const fs::path real = dir.Path() / "dotfiles" / "xscreensaver";
  Spit(real, SettingsFile);
  fs::create_symlink("dotfiles/xscreensaver", dir.Path() / ".xscreensaver");
  EXPECT_EQ(Add(dir.Path(), defaults).ExitCode, 0);
  EXPECT_TRUE(fs::is_symlink(dir.Path() / ".xscreensaver"));
  EXPECT_EQ(AddToXscreensaverText(Slurp(real), "").Outcome, TXscreensaverEdit::AlreadyPresent);

  TAddRun run = Add({}, defaults);
  EXPECT_EQ(run.ExitCode, 1);
  EXPECT_EQ(run.Err, "moonglow: HOME is not set, so there is no ~/.xscreensaver\n");

  // No list of the user's own and no standard one: the file is left alone.
  TScratchDir other("xss-");
  Spit(other.Path() / ".xscreensaver", "timeout: 0:05:00\n");
  run = Add(other.Path(), other.Path() / "missing");
  EXPECT_EQ(run.ExitCode, 1);
  EXPECT_EQ(run.Err.find('\n'), run.Err.size() - 1) << run.Err;
  EXPECT_EQ(Slurp(other.Path() / ".xscreensaver"), "timeout: 0:05:00\n");

  // Something that is not a file is never replaced.
  fs::remove(other.Path() / ".xscreensaver");
  fs::create_directory(other.Path() / ".xscreensaver");
  run = Add(other.Path(), defaults);
  EXPECT_EQ(run.ExitCode, 1);
  EXPECT_TRUE(fs::is_directory(other.Path() / ".xscreensaver"));

  // A folder it cannot write to: refused, file unchanged.
  fs::remove(other.Path() / ".xscreensaver");
  Spit(other.Path() / ".xscreensaver", SettingsFile);
  fs::permissions(other.Path(), fs::perms::owner_read | fs::perms::owner_exec);
  run = Add(other.Path(), defaults);
  fs::permissions(other.Path(), fs::perms::owner_all);
  // Folder permissions do not bind root, which the write then simply succeeds for.
  if (run.ExitCode != 0) {
    EXPECT_EQ(run.Err,
              "moonglow: cannot write " + (other.Path() / ".xscreensaver").string() + "\n");
    EXPECT_EQ(Slurp(other.Path() / ".xscreensaver"), SettingsFile);
  }
}

TEST(XscreensaverFile, ALinkToAMissingFileMakesThatFile) {
#ifdef _WIN32
  GTEST_SKIP() << "the Windows build writes no symbolic links";
#endif
  TScratchDir dir("xss-");
  const fs::path defaults = dir.Path() / "XScreenSaver";
  Spit(defaults, AppDefaults);
  fs::create_directories(dir.Path() / "dotfiles");
  fs::create_symlink("dotfiles/xscreensaver", dir.Path() / ".xscreensaver");
  const TAddRun run = Add(dir.Path(), defaults);
  EXPECT_EQ(run.ExitCode, 0) << run.Err;
  EXPECT_TRUE(fs::is_symlink(dir.Path() / ".xscreensaver"));
  EXPECT_TRUE(Slurp(dir.Path() / "dotfiles" / "xscreensaver").ends_with(Entry));
}

#ifndef _WIN32
// HOME is the user's text: a control character in it is escaped, so the
// message stays one line.
TEST(XscreensaverFile, AnOddHomeIsNamedOnOneLine) {
  TScratchDir dir("xss-");
  const fs::path home = dir.Path() / "a\nb";
  fs::create_directories(home / ".xscreensaver");
  const TAddRun run = Add(home, dir.Path() / "missing");
  EXPECT_EQ(run.ExitCode, 1);
  EXPECT_EQ(run.Err,
            "moonglow: " + (dir.Path() / "a\\nb" / ".xscreensaver").string() + " is not a file\n");
}
#endif

}  // namespace
}  // namespace moonglow
