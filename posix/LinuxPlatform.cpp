#include "posix/LinuxPlatform.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <system_error>

#include "settings/Environment.h"
#include "settings/Version.h"

namespace moonglow {

namespace {

constexpr const char* LockName = "moonglow " MOONGLOW_VERSION_NAME ".lock";

bool LockNow(int fd) {
  int result;
  do {
    result = ::flock(fd, LOCK_EX | LOCK_NB);
  } while (result != 0 && errno == EINTR);
  return result == 0;
}

// True while `path` still names the file open as `fd`.
bool StillNamed(int fd, const std::filesystem::path& path) {
  struct stat held {
  }, named{};
  return ::fstat(fd, &held) == 0 && ::lstat(path.c_str(), &named) == 0 &&
         held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

class TLinuxTempFile final : public ITempFile {
 public:
  TLinuxTempFile(int fd, std::filesystem::path path) : FFd(fd), FPath(std::move(path)) {}
  ~TLinuxTempFile() override {
    // Removed while still locked, so no clean-up is at it at the same time.
    if (!FRenamed) ::unlink(FPath.c_str());
    ::close(FFd);
  }
  TLinuxTempFile(const TLinuxTempFile&) = delete;
  TLinuxTempFile& operator=(const TLinuxTempFile&) = delete;

  bool Write(std::string_view bytes) override {
    while (!bytes.empty()) {
      const ssize_t n = ::write(FFd, bytes.data(), bytes.size());
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
  }
  bool Flush() override { return ::fsync(FFd) == 0; }
  bool RenameTo(const std::filesystem::path& target) override {
    FRenamed = ::rename(FPath.c_str(), target.c_str()) == 0;
    return FRenamed;
  }

 private:
  int FFd;
  std::filesystem::path FPath;
  bool FRenamed = false;
};

}  // namespace

bool TLinuxFileServices::MayWrite(const std::filesystem::path& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  // A directory takes search permission as well before a name in it can be made.
  const int mode = S_ISDIR(st.st_mode) ? W_OK | X_OK : W_OK;
  return ::faccessat(AT_FDCWD, path.c_str(), mode, AT_EACCESS) == 0;
}

std::unique_ptr<ITempFile> TLinuxFileServices::CreateTemp(
    const std::filesystem::path& path, std::optional<std::filesystem::perms> perms) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
  if (fd < 0) return nullptr;
  // Between the open and the lock another writer's clean-up may have taken
  // the new file for a leftover: it then holds the lock, or has removed the
  // name. Either way the name is not ours, and the clean-up removes the file.
  if (!LockNow(fd) || !StillNamed(fd, path)) {
    ::close(fd);
    return nullptr;
  }
  if (perms) ::fchmod(fd, static_cast<mode_t>(*perms & std::filesystem::perms::mask));
  return std::make_unique<TLinuxTempFile>(fd, path);
}

void TLinuxFileServices::FlushDirectory(const std::filesystem::path& dir) {
  const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

bool TLinuxFileServices::RemoveIfUnused(const std::filesystem::path& path) {
  // A leftover may have been made without read permission; any open
  // descriptor takes the lock.
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) return false;
  // Locked, the file's writer is gone: the lock dies with its holder. Only
  // the file locked is removed, not another that took its name meanwhile.
  const bool removed = LockNow(fd) && StillNamed(fd, path) && ::unlink(path.c_str()) == 0;
  ::close(fd);
  return removed;
}

TLinuxPlatform::~TLinuxPlatform() { ReleaseInstanceLock(); }

std::filesystem::path TLinuxPlatform::LockPath() {
  const std::string runtime = VariableOrEmpty(ProcessEnvironment(), "XDG_RUNTIME_DIR");
  if (!runtime.empty()) {
    std::error_code error;
    if (std::filesystem::is_directory(runtime, error))
      return std::filesystem::path(runtime) / LockName;
  }
  std::error_code error;
  std::filesystem::path temp = std::filesystem::temp_directory_path(error);
  if (error) temp = "/tmp";
  return temp / LockName;
}

IPlatform::TLockResult TLinuxPlatform::AcquireInstanceLock() {
  if (FLockFd >= 0) return TLockResult::Acquired;
  const std::string path = LockPath().string();
  // Another user's lock file in a shared temporary directory may be
  // read-only for us; a read-only descriptor takes the lock just as well.
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
  if (fd < 0) fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return TLockResult::Unavailable;
  if (!LockNow(fd)) {
    const bool held = errno == EWOULDBLOCK;
    ::close(fd);
    return held ? TLockResult::HeldElsewhere : TLockResult::Unavailable;
  }
  FLockFd = fd;
  return TLockResult::Acquired;
}

void TLinuxPlatform::ReleaseInstanceLock() {
  if (FLockFd < 0) return;
  ::flock(FLockFd, LOCK_UN);
  ::close(FLockFd);
  FLockFd = -1;
}

}  // namespace moonglow
