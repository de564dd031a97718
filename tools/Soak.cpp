// moonglow-soak: runs the show through every theme under extreme settings,
// several million slot visits in all, to be run under the address and
// undefined-behaviour sanitizers. It passes when it ends without a report.

#include <cstdio>
#include <cstring>
#include <functional>
#include <string_view>

#include "app/RunMode.h"
#include "settings/IniFile.h"
#include "settings/Parse.h"
#include "show/Headless.h"

namespace {

using namespace moonglow;

constexpr std::int32_t Huge = 2147483647;

void EveryKind(TMyIniFile& s, const std::function<void(TFireParam&)>& apply) {
  for (TFireParam* p : {&s.Kiku, &s.Kiku3, &s.Botan, &s.Hiyuusei, &s.Hachi}) apply(*p);
}

struct TCase {
  const char* Name;
  std::int32_t Width, Height;
  TRunMode Mode;
  std::function<void(TMyIniFile&)> Apply;
};

const TCase Cases[] = {
    {"defaults", 800, 600, Saver, [](TMyIniFile&) {}},
    {"heavy gravity", 800, 600, Saver,
     [](TMyIniFile& s) {
       s.gFactor = 1000000;
       EveryKind(s, [](TFireParam& p) { p.DrawLaunch = true; });
     }},
    {"no drag, huge life", 640, 480, Saver,
     [](TMyIniFile& s) {
       s.kFactor = 0;
       s.gFactor = 0;
       EveryKind(s, [](TFireParam& p) { p.Life = Huge; });
     }},
    {"huge drag", 800, 600, Saver,
     [](TMyIniFile& s) {
       s.kFactor = 100000;
       EveryKind(s, [](TFireParam& p) { p.DrawLaunch = true; });
     }},
    {"fastest", 800, 600, Saver,
     [](TMyIniFile& s) {
       s.VNoise = 100000;
       s.DNoise = Huge;
       EveryKind(s, [](TFireParam& p) {
         p.V = Huge;
         p.SeedSize = 2;
       });
     }},
    {"long time step", 800, 600, Saver,
     [](TMyIniFile& s) { EveryKind(s, [](TFireParam& p) { p.dtFactor = 1000; }); }},
    {"one star, one trail point", 800, 600, Saver,
     [](TMyIniFile& s) {
       EveryKind(s, [](TFireParam& p) {
         p.SeedCount = 1;
         p.FireLength = 1;
         p.Life = 1;
       });
     }},
    {"full arrays", 1024, 768, Saver,
     [](TMyIniFile& s) {
       s.FireCount = 10;
       EveryKind(s, [](TFireParam& p) {
         p.SeedCount = 500;
         p.FireLength = 599;
         p.SeedSize = 1;
         p.Life = 1;
       });
     }},
    {"everything at once", 800, 600, Saver,
     [](TMyIniFile& s) {
       s.FireCount = 10;
       s.gFactor = 1000000;
       s.kFactor = 100000;
       s.VNoise = Huge;
       s.DNoise = Huge;
       EveryKind(s, [](TFireParam& p) { p = {true, 2, 500, Huge, 599, Huge, 1000}; });
     }},
    {"preview", 152, 112, Preview,
     [](TMyIniFile& s) { EveryKind(s, [](TFireParam& p) { p.DrawLaunch = true; }); }},
    {"one pixel", 1, 1, Saver,
     [](TMyIniFile& s) { EveryKind(s, [](TFireParam& p) { p.DrawLaunch = true; }); }},
    {"no area", 0, 0, Saver,
     [](TMyIniFile& s) { EveryKind(s, [](TFireParam& p) { p.DrawLaunch = true; }); }},
};

constexpr std::int32_t TThemeCount = 5;

void SingleTheme(TMyIniFile& s, std::int32_t theme) {
  std::int32_t* weights[] = {&s.AllCastPer, &s.ShidarePer, &s.HanaichiPer, &s.BotanPer,
                             &s.RanbuPer};
  for (std::int32_t t = 0; t < TThemeCount; ++t) *weights[t] = t == theme ? 100 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::uint64_t visits = 1000000;  // per case and theme
  if (argc == 3 && std::strcmp(argv[1], "--visits") == 0) {
    const std::string_view text = argv[2];
    const TScannedInteger n = ScanInteger(text);
    visits = n.Magnitude;
    if (!n.Fills(text.size())) argc = 0;
  }
  if (argc != 1 && argc != 3) {
    std::fprintf(stderr, "usage: moonglow-soak [--visits N]  (slot visits per case and theme)\n");
    return 2;
  }

  std::uint64_t total = 0;
  std::uint32_t seed = 1;
  for (const TCase& c : Cases) {
    for (std::int32_t theme = 0; theme < TThemeCount; ++theme) {
      THeadlessShow headless(
          {.Width = c.Width, .Height = c.Height, .Preview = c.Mode == Preview, .Seed = seed++});
      TMyIniFile& settings = headless.Settings;
      settings.FirstRun = false;
      SingleTheme(settings, theme);
      c.Apply(settings);
      headless.Start();
      headless.Run(visits);
      total += visits;
      std::printf("%-26s %-8s %4llu themes %6llu bursts %10llu pixel writes\n", c.Name,
                  ThemeName(static_cast<TTheme>(theme)),
                  static_cast<unsigned long long>(headless.Trace.Themes.size()),
                  static_cast<unsigned long long>(headless.Trace.Bursts.size()),
                  static_cast<unsigned long long>(headless.Canvas.Writes()));
    }
  }
  std::printf("soak: %llu slot visits, no fault\n", static_cast<unsigned long long>(total));
  return 0;
}
