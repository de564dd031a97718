// moonglow-render: the show without a window. It runs the same show loop as
// the saver, unpaced, into an in-memory canvas and writes the result as a PNG.
// The same seed and settings always give the same picture and the same trace.

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

#include "settings/Parse.h"
#include "settings/TextEncoding.h"
#include "show/Headless.h"
#include "tools/Png.h"

namespace {

using namespace moonglow;

constexpr const char* Usage =
    "usage: moonglow-render [options]\n"
    "  --size WxH     canvas size in pixels (default 800x600; at most 7680x4320\n"
    "                 pixels in all)\n"
    "  --seed N       the seed counter's start (default: the calendar time)\n"
    "  --steps N      slot visits of the show loop (default 2000000)\n"
    "  --ini PATH     settings file (default: the built-in defaults)\n"
    "  --preview      run as the small preview does\n"
    "  --out FILE     the PNG to write (default moonglow.png)\n"
    "  --trace        print every theme and burst on standard output\n"
    "  --bench        print visits and pixel writes per second and peak memory\n";

struct TOptions {
  std::int32_t Width = 800;
  std::int32_t Height = 600;
  std::uint32_t Seed = 0;
  bool SeedGiven = false;
  std::uint64_t Steps = 2000000;
  std::string Ini;
  bool Preview = false;
  std::string Out = "moonglow.png";
  bool Trace = false;
  bool Bench = false;
};

// Largest canvas side accepted, to keep a typo from asking for gigabytes.
constexpr std::int32_t MaxSide = 16384;
// Largest canvas in all: 8K UHD. The tool needs about 16 bytes a pixel at its
// peak (the canvas, then the PNG's rows, its zlib stream and the file's bytes
// side by side), so this keeps it near half a gigabyte.
constexpr std::int32_t MaxWidth = 7680, MaxHeight = 4320;
constexpr std::int64_t MaxPixels = std::int64_t{MaxWidth} * MaxHeight;

bool ParseSize(std::string_view text, std::int32_t& width, std::int32_t& height) {
  const std::size_t x = text.find_first_of("xX");
  if (x == std::string_view::npos) return false;
  const std::optional<std::int64_t> w = WholeInteger(text.substr(0, x), {}, 1, MaxSide);
  const std::optional<std::int64_t> h = WholeInteger(text.substr(x + 1), {}, 1, MaxSide);
  if (!w || !h) return false;
  width = static_cast<std::int32_t>(*w);
  height = static_cast<std::int32_t>(*h);
  return true;
}

int Fail(const std::string& message) {
  std::fprintf(stderr, "moonglow-render: %s\n%s", message.c_str(), Usage);
  return 2;
}

// A well-formed size that is too large: the limit says it all, no usage.
int FailTooLarge(std::int32_t width, std::int32_t height) {
  std::fprintf(stderr,
               "moonglow-render: canvas %dx%d is too large: at most %lld pixels in all "
               "(%dx%d)\n",
               width, height, static_cast<long long>(MaxPixels), MaxWidth, MaxHeight);
  return 2;
}

// Returns -1 when the options are good, else the exit code.
int ParseOptions(int argc, char** argv, TOptions& options) {
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    std::string_view value;
    bool hasValue = false;
    if (const std::size_t eq = arg.find('=');
        arg.starts_with("--") && eq != std::string_view::npos) {
      value = arg.substr(eq + 1);
      arg = arg.substr(0, eq);
      hasValue = true;
    }
    const auto needValue = [&]() {
      if (hasValue) return true;
      if (i + 1 >= argc) return false;
      value = argv[++i];
      return true;
    };
    const std::string name(arg);
    if (arg == "--help" || arg == "-h") {
      std::fputs(Usage, stdout);
      return 0;
    } else if (arg == "--preview" || arg == "--trace" || arg == "--bench") {
      if (hasValue) return Fail(name + " takes no value");
      (arg == "--preview" ? options.Preview
       : arg == "--trace" ? options.Trace
                          : options.Bench) = true;
    } else if (arg == "--size" || arg == "--seed" || arg == "--steps" || arg == "--ini" ||
               arg == "--out") {
      if (!needValue()) return Fail(name + " needs a value");
      if (arg == "--size") {
        if (!ParseSize(value, options.Width, options.Height))
          return Fail("bad --size '" + MessageText(value) + "': expected WxH, each 1.." +
                      std::to_string(MaxSide));
        if (std::int64_t{options.Width} * options.Height > MaxPixels)
          return FailTooLarge(options.Width, options.Height);
      } else if (arg == "--seed") {
        const std::optional<std::int64_t> seed =
            WholeInteger(value, {}, 0, std::numeric_limits<std::uint32_t>::max());
        if (!seed) return Fail("bad --seed '" + MessageText(value) + "': expected 0..4294967295");
        options.Seed = static_cast<std::uint32_t>(*seed);
        options.SeedGiven = true;
      } else if (arg == "--steps") {
        // Any count that fits in 64 bits: WholeInteger's range ends at 2^63 - 1.
        const TScannedInteger steps = ScanInteger(value);
        if (!steps.Fills(value.size()))
          return Fail("bad --steps '" + MessageText(value) + "': expected a whole number");
        options.Steps = steps.Magnitude;
      } else if (value.empty()) {
        return Fail(name + " needs a non-empty value");
      } else if (arg == "--ini") {
        options.Ini = value;
      } else {
        options.Out = value;
      }
    } else {
      return Fail("unknown option '" + MessageText(argv[i]) + "'");
    }
  }
  return -1;
}

// Peak resident memory in kilobytes, or -1 where /proc is not available.
long PeakMemoryKb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) != 0) continue;
    // "VmHWM:    1234 kB"
    const TScannedInteger kb = ScanInteger(std::string_view(line).substr(6), {.Skip = Blanks});
    return kb.Digits > 0 && !kb.Overflow ? static_cast<long>(kb.Magnitude) : -1;
  }
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  TOptions options;
  if (const int code = ParseOptions(argc, argv, options); code >= 0) return code;
  if (const std::optional<std::string> refusal = PngTargetRefusal(options.Out)) {
    std::fprintf(stderr, "moonglow-render: --out %s\n", refusal->c_str());
    return 2;
  }
  if (!options.SeedGiven) options.Seed = static_cast<std::uint32_t>(std::time(nullptr));

  THeadlessShow headless({.Width = options.Width,
                          .Height = options.Height,
                          .Preview = options.Preview,
                          .Seed = options.Seed,
                          .SettingsPath = options.Ini,
                          .Trace = options.Trace});
  headless.Trace.OnLine = [](const std::string& line) { std::puts(line.c_str()); };
  const TCanvas& canvas = headless.Canvas;

  // With --trace, standard output carries the trace lines only.
  FILE* report = options.Trace ? stderr : stdout;
  const auto start = std::chrono::steady_clock::now();
  headless.Start();
  headless.Run(options.Steps);
  // The shells' memory goes before the PNG's buffers are made.
  headless.Show.FreeShells();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::fflush(stdout);

  if (options.Bench) {
    const double per = seconds > 0 ? 1.0 / seconds : 0.0;
    std::fprintf(report, "visits: %llu in %.3f s (%.0f per second)\n",
                 static_cast<unsigned long long>(options.Steps), seconds,
                 static_cast<double>(options.Steps) * per);
    std::fprintf(report, "pixel writes: %llu (%.0f per second)\n",
                 static_cast<unsigned long long>(canvas.Writes()),
                 static_cast<double>(canvas.Writes()) * per);
    if (const long kb = PeakMemoryKb(); kb >= 0) {
      std::fprintf(report, "peak memory: %ld kB\n", kb);
    } else {
      std::fprintf(report, "peak memory: not available on this system\n");
    }
  }

  if (!WritePng(options.Out, canvas.Pixels(), canvas.Width(), canvas.Height())) {
    std::fprintf(stderr, "moonglow-render: cannot write %s: %s\n",
                 MessageText(options.Out, MessagePathLimit).c_str(), std::strerror(errno));
    return 1;
  }
  std::fprintf(report, "wrote %s (%dx%d, seed %u, %llu visits)\n", options.Out.c_str(),
               canvas.Width(), canvas.Height(), options.Seed,
               static_cast<unsigned long long>(options.Steps));
  return 0;
}
