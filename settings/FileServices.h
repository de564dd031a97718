#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace moonglow {

// A new file that its writer holds until the object is destroyed. While it is
// held, no clean-up of another writer removes it; destroyed before RenameTo
// succeeded, it is removed.
class ITempFile {
 public:
  virtual ~ITempFile() = default;
  virtual bool Write(std::string_view bytes) = 0;
  // Puts what was written on the disk itself, so that the file a rename then
  // publishes is never found empty after a power cut.
  virtual bool Flush() = 0;
  // Gives the file `target`'s name in one step, replacing the file that bore
  // it: a reader sees either the old file or this one.
  virtual bool RenameTo(const std::filesystem::path& target) = 0;
};

// What replacing a file needs of the operating system. Failures are answers,
// never exceptions.
class IFileServices {
 public:
  virtual ~IFileServices() = default;
  // True when this user may change `path`: write a file, or make and remove
  // names in a directory.
  virtual bool MayWrite(const std::filesystem::path& path) = 0;
  // A new file at `path`, made only if no file has that name yet, with the
  // permissions `perms` where given. Empty when it cannot be made.
  virtual std::unique_ptr<ITempFile> CreateTemp(const std::filesystem::path& path,
                                                std::optional<std::filesystem::perms> perms) = 0;
  // Makes a rename in `dir` durable. The rename has happened whatever this
  // answers, so the answer is only a hope.
  virtual void FlushDirectory(const std::filesystem::path& dir) = 0;
  // Removes a temporary file a writer left behind, unless a live writer
  // still holds it. True when it was removed.
  virtual bool RemoveIfUnused(const std::filesystem::path& path) = 0;
};

// Standard C++ only, for the tools and tests that have no platform: nothing
// is flushed beyond the library's buffers, no leftover is removed (a live
// writer's file cannot be told from a dead one's), and whether a file may be
// written is left to its permission bits and to the write's own result.
IFileServices& PortableFileServices();

// Replaces `target`'s contents by `text` through a temporary file beside it:
// write, flush the file, rename over the target, flush the directory; then
// removes the temporary files that earlier writers were killed before
// renaming. The target is either the old file or the new one at every
// moment, and after a power cut too where the services flush. False when
// the target was left as it was.
bool ReplaceFileContents(IFileServices& files, const std::filesystem::path& target,
                         std::string_view text, std::optional<std::filesystem::perms> perms);

// True when `name` is one of ReplaceFileContents' temporary file names for a
// target named `targetName`: "." + targetName + "." + 16 hexadecimal digits
// + ".tmp".
bool IsTempNameFor(std::string_view name, std::string_view targetName);

// The file a write to `path` lands on: `path` itself, or, where it is a
// symbolic link, the file the chain of links ends at, whether or not that
// file exists yet. Empty for a loop or a link that cannot be read.
std::optional<std::filesystem::path> LinkTarget(const std::filesystem::path& path);

}  // namespace moonglow
