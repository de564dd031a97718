// Feeds arbitrary bytes to the settings reader as a settings file, then saves
// and reads again; then the same bytes once more as a UTF-16 file, which must
// read as the bytes did. Any crash, sanitizer report or broken promise aborts.

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/IniFile.h"
#include "settings/ProfileFile.h"
#include "settings/TextEncoding.h"

namespace {

namespace fs = std::filesystem;
using namespace moonglow;

struct TKey {
  const char* Section;
  const char* Name;
};

constexpr const char* Kinds[] = {"Kiku", "Kiku3", "Botan", "Hiyuusei", "Hachi"};
constexpr const char* KindKeys[] = {"DrawLaunch", "SeedSize", "SeedCount", "V",
                                    "FireLength", "Life",     "dtFactor"};
constexpr TKey OwnKeys[] = {
    {"Environment", "FirstRun"}, {"Environment", "FireCount"}, {"Environment", "gFactor"},
    {"Environment", "kFactor"},  {"Environment", "VNoise"},    {"Environment", "DNoise"},
    {"Theme", "AllCastPer"},     {"Theme", "ShidarePer"},      {"Theme", "HanaichiPer"},
    {"Theme", "BotanPer"},       {"Theme", "RanbuPer"},
};

template <typename F>
void ForEachKey(F f) {
  for (const TKey& k : OwnKeys) f(k.Section, k.Name);
  for (const char* kind : Kinds) {
    for (const char* key : KindKeys) f(kind, key);
  }
}

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "broken: %s\n", what);
    std::abort();
  }
}

// The integer rule read a second way, through the standard library's parser.
std::optional<std::int32_t> ReferenceInteger(std::string_view s) {
  s.remove_prefix(std::min(s.find_first_not_of(" \t"), s.size()));
  int base = 10;
  if (s.starts_with('$')) {
    s.remove_prefix(1);
    base = 16;
  } else if (s.starts_with("0x") || s.starts_with("0X")) {
    s.remove_prefix(2);
    base = 16;
  } else if (s.starts_with('+')) {
    s.remove_prefix(1);
    if (s.starts_with('-')) return std::nullopt;
  }
  if (s.empty() || (base == 16 && s.front() == '-')) return std::nullopt;
  std::int32_t v = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v, base);
  if (ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
  return v;
}

bool SameSettings(const TMyIniFile& a, const TMyIniFile& b) {
  const auto same = [](const TFireParam& x, const TFireParam& y) {
    return x.DrawLaunch == y.DrawLaunch && x.SeedSize == y.SeedSize && x.SeedCount == y.SeedCount &&
           x.V == y.V && x.FireLength == y.FireLength && x.Life == y.Life &&
           x.dtFactor == y.dtFactor;
  };
  return a.FireCount == b.FireCount && a.gFactor == b.gFactor && a.kFactor == b.kFactor &&
         a.VNoise == b.VNoise && a.DNoise == b.DNoise && a.AllCastPer == b.AllCastPer &&
         a.ShidarePer == b.ShidarePer && a.HanaichiPer == b.HanaichiPer &&
         a.BotanPer == b.BotanPer && a.RanbuPer == b.RanbuPer && same(a.Kiku, b.Kiku) &&
         same(a.Kiku3, b.Kiku3) && same(a.Botan, b.Botan) && same(a.Hiyuusei, b.Hiyuusei) &&
         same(a.Hachi, b.Hachi);
}

bool InRanges(const TMyIniFile& s) {
  const auto kind = [](const TFireParam& p) {
    return p.SeedSize >= 0 && p.SeedSize <= 2 && p.SeedCount >= 1 && p.SeedCount <= 500 &&
           p.V >= 1 && p.FireLength >= 1 && p.FireLength <= 599 && p.Life >= 1 && p.dtFactor >= 1;
  };
  const auto weight = [](std::int32_t w) { return w >= 0 && w <= 100; };
  return s.FireCount >= 1 && s.FireCount <= 10 && s.gFactor >= 0 && s.kFactor >= 0 &&
         s.VNoise >= 0 && s.DNoise >= 0 && weight(s.AllCastPer) && weight(s.ShidarePer) &&
         weight(s.HanaichiPer) && weight(s.BotanPer) && weight(s.RanbuPer) && kind(s.Kiku) &&
         kind(s.Kiku3) && kind(s.Botan) && kind(s.Hiyuusei) && kind(s.Hachi);
}

// A directory of its own for the file under test, in memory where the system
// offers it: replacing a file on a disk can wait for the disk every time.
fs::path WorkFile() {
  static const fs::path dir = [] {
    std::error_code ec;
    const fs::path shm = "/dev/shm";
    const fs::path base = fs::is_directory(shm, ec) ? shm : fs::temp_directory_path();
    return base / ("moonglow-inifuzz-" +
                   std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
  }();
  return dir / "fuzz.ini";
}

std::string Slurp(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Each byte as the code unit of the same number, with the byte-order mark in
// front: the bytes' text as a UTF-16 file, made without the code under test.
std::string Widened(const std::string& bytes, bool bigEndian) {
  std::string s = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
  for (const char c : bytes) {
    s += bigEndian ? '\0' : c;
    s += bigEndian ? c : '\0';
  }
  return s;
}

// What Widened makes of a value, as the reader gives it: each byte from 0x80
// up is a code point that UTF-8 spells with two bytes.
std::string WidenedValue(const std::string& value) {
  std::string s;
  for (const char c : value) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x80) {
      s += c;
    } else {
      s += static_cast<char>(0xC0 | (b >> 6));
      s += static_cast<char>(0x80 | (b & 0x3F));
    }
  }
  return s;
}

// Every check on one settings file holding `bytes`; returns the raw value of
// every key as first read, in ForEachKey's order.
std::vector<std::string> CheckFile(const std::string& bytes, std::uint32_t seed) {
  const fs::path file = WorkFile();
  fs::create_directories(file.parent_path());
  {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  const std::string name = file.string();
  std::vector<std::string> values;

  // Every key, read raw and as integers under two defaults.
  {
    const TProfileFile ini(name);
    ForEachKey([&](const char* section, const char* key) {
      const std::string text = ini.ReadString(section, key);
      values.push_back(text);
      const std::optional<std::int32_t> v = ReferenceInteger(text);
      Check(ini.ReadInteger(section, key, 12345) == v.value_or(12345), "ReadInteger");
      Check(ini.ReadInteger(section, key, -777) == v.value_or(-777), "ReadInteger default");
      Check(ini.ReadBool(section, key, true) == (v.value_or(1) != 0), "ReadBool");
    });
  }

  // The record always comes out in range, and what it saves reads back the same.
  TMyIniFile first(name);
  first.ReadSettings();
  Check(InRanges(first), "ranges after reading");
  first.WriteSettings(true);
  TMyIniFile second(name);
  second.ReadSettings();
  Check(SameSettings(first, second), "settings round trip");
  Check(!second.FirstRun, "FirstRun after a Saver write");

  // Values taken from the input, written singly or in a batch, read back.
  TProfileFile writer(name);
  const bool batch = (seed & 1) != 0;
  struct TWritten {
    const char* Section;
    const char* Key;
    std::int32_t Value;
  };
  std::vector<TWritten> written;
  if (batch) writer.BeginUpdate();
  ForEachKey([&](const char* section, const char* key) {
    seed = seed * 1103515245u + 12345u;
    if (seed % 3 != 0) return;
    written.push_back({section, key, static_cast<std::int32_t>(seed)});
    writer.WriteInteger(section, key, written.back().Value);
  });
  if (batch) writer.EndUpdate();
  const TProfileFile reread(name);
  Check(reread.Text() == writer.Text(), "stored text");
  for (const TWritten& w : written) {
    Check(reread.ReadString(w.Section, w.Key) == std::to_string(w.Value), "value text read back");
    Check(reread.ReadInteger(w.Section, w.Key, 0) == w.Value, "value read back");
  }
  // The file stays in the encoding it came in, with the same mark and odd byte.
  std::string before = bytes;
  std::string after = Slurp(file);
  const TFileEncoding was = DecodeFileText(before);
  const TFileEncoding is = DecodeFileText(after);
  Check(is.Encoding == was.Encoding && is.OddByte == was.OddByte, "encoding kept");
  return values;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  Check(TProfileFile::ParseInteger(bytes) == ReferenceInteger(bytes), "integer rule");

  // Whatever the bytes, reading them as a file's text and back loses nothing.
  std::string text = bytes;
  const TFileEncoding encoding = DecodeFileText(text);
  Check(EncodeFileText(text, encoding) == bytes, "text decoded losslessly");

  std::uint32_t seed = 2166136261u;
  for (const unsigned char c : bytes) seed = (seed ^ c) * 16777619u;
  const std::vector<std::string> values = CheckFile(bytes, seed);

  // The same text in UTF-16 reads the same; not so a UTF-8 mark, which a
  // UTF-16 file does not skip, nor a file that is already UTF-16.
  if (encoding.Encoding == TTextEncoding::Bytes && !bytes.starts_with("\xEF\xBB\xBF")) {
    const std::vector<std::string> wide = CheckFile(Widened(bytes, (seed & 2) != 0), seed);
    for (std::size_t i = 0; i < values.size(); ++i) {
      Check(wide[i] == WidenedValue(values[i]), "UTF-16 reads as the bytes do");
    }
  }
  std::error_code ec;
  fs::remove_all(WorkFile().parent_path(), ec);
  return 0;
}
