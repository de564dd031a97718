#include "settings/FileServices.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <random>
#include <vector>

namespace moonglow {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t SuffixDigits = 16;

std::string FromPath(const fs::path& path) {
  const std::u8string s = path.u8string();
  return std::string(s.begin(), s.end());
}

// A name for the temporary file that no other writer picks at the same time:
// the clock, a per-process random start and a counter, mixed.
std::string TempSuffix() {
  static std::atomic<std::uint64_t> counter{std::random_device{}()};
  const auto ticks = static_cast<std::uint64_t>(
      std::chrono::high_resolution_clock::now().time_since_epoch().count());
  std::uint64_t v = ticks ^ (counter.fetch_add(1) * 0x9E3779B97F4A7C15ull);
  std::string s;
  for (std::size_t i = 0; i < SuffixDigits; ++i, v >>= 4) s += "0123456789abcdef"[v & 15];
  return s;
}

class TPortableTempFile final : public ITempFile {
 public:
  explicit TPortableTempFile(fs::path path)
      : FPath(std::move(path)), FOut(FPath, std::ios::binary | std::ios::trunc) {}
  ~TPortableTempFile() override {
    if (FRenamed) return;
    FOut.close();
    std::error_code ec;
    fs::remove(FPath, ec);
  }
  TPortableTempFile(const TPortableTempFile&) = delete;
  TPortableTempFile& operator=(const TPortableTempFile&) = delete;

  bool IsOpen() const { return FOut.is_open(); }
  bool Write(std::string_view bytes) override {
    FOut.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return !FOut.fail();
  }
  bool Flush() override { return !FOut.flush().fail(); }
  bool RenameTo(const fs::path& target) override {
    FOut.close();
    if (FOut.fail()) return false;
    std::error_code ec;
    fs::rename(FPath, target, ec);
    FRenamed = !ec;
    return FRenamed;
  }

 private:
  fs::path FPath;
  std::ofstream FOut;
  bool FRenamed = false;
};

class TPortableFileServices final : public IFileServices {
 public:
  bool MayWrite(const fs::path&) override { return true; }
  std::unique_ptr<ITempFile> CreateTemp(const fs::path& path,
                                        std::optional<fs::perms> perms) override {
    // The library cannot create a file exclusively; the random name and this
    // look make a clash with another file all but impossible.
    std::error_code ec;
    if (fs::symlink_status(path, ec).type() != fs::file_type::not_found) return nullptr;
    auto file = std::make_unique<TPortableTempFile>(path);
    if (!file->IsOpen()) return nullptr;
    if (perms) fs::permissions(path, *perms, ec);
    return file;
  }
  void FlushDirectory(const fs::path&) override {}
  bool RemoveIfUnused(const fs::path&) override { return false; }
};

void RemoveLeftovers(IFileServices& files, const fs::path& dir, std::string_view targetName) {
  std::vector<fs::path> leftovers;
  std::error_code ec;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    if (IsTempNameFor(FromPath(it->path().filename()), targetName)) leftovers.push_back(it->path());
  }
  for (const fs::path& p : leftovers) files.RemoveIfUnused(p);
}

}  // namespace

IFileServices& PortableFileServices() {
  static TPortableFileServices services;
  return services;
}

bool IsTempNameFor(std::string_view name, std::string_view targetName) {
  constexpr std::string_view Tail = ".tmp";
  if (name.size() != 1 + targetName.size() + 1 + SuffixDigits + Tail.size()) return false;
  if (name[0] != '.' || name.substr(1, targetName.size()) != targetName) return false;
  name.remove_prefix(1 + targetName.size());
  if (name[0] != '.' || !name.ends_with(Tail)) return false;
  for (const char c : name.substr(1, SuffixDigits)) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

bool ReplaceFileContents(IFileServices& files, const fs::path& target, std::string_view text,
                         std::optional<fs::perms> perms) {
  fs::path dir = target.parent_path();
  if (dir.empty()) dir = ".";
  const std::string targetName = FromPath(target.filename());

  std::unique_ptr<ITempFile> temp;
  // A name can be taken already, by a leftover or by another writer's
  // clean-up that holds it at this moment: another one is drawn.
  for (int attempt = 0; attempt < 4 && !temp; ++attempt) {
    temp = files.CreateTemp(dir / ("." + targetName + "." + TempSuffix() + ".tmp"), perms);
  }
  if (!temp) return false;
  // The file is held until it has its final name, so no clean-up can take it
  // away half written; one that fails on the way is removed with its object.
  if (!temp->Write(text) || !temp->Flush() || !temp->RenameTo(target)) return false;
  temp.reset();
  files.FlushDirectory(dir);
  RemoveLeftovers(files, dir, targetName);
  return true;
}

std::optional<fs::path> LinkTarget(const fs::path& path) {
  // Followed by hand: the library's canonical forms stop at a link whose file
  // is missing, and a write there would replace the link.
  constexpr int MaxLinks = 40;  // as many as Linux follows before calling it a loop
  fs::path target = path;
  std::error_code ec;
  for (int links = 0; fs::is_symlink(fs::symlink_status(target, ec)); ++links) {
    if (links == MaxLinks) return std::nullopt;
    const fs::path next = fs::read_symlink(target, ec);
    if (ec) return std::nullopt;
    target = next.is_absolute() ? next : target.parent_path() / next;
  }
  return target;
}

}  // namespace moonglow
