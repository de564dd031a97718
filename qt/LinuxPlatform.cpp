#include "qt/LinuxPlatform.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <system_error>

namespace moonglow {

namespace {

constexpr const char* LockName = "moonglow Version 3.01.lock";

}  // namespace

TLinuxPlatform::~TLinuxPlatform() { ReleaseInstanceLock(); }

std::filesystem::path TLinuxPlatform::LockPath() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime && *runtime) {
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
  int result;
  do {
    result = ::flock(fd, LOCK_EX | LOCK_NB);
  } while (result != 0 && errno == EINTR);
  if (result != 0) {
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
