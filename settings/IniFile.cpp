#include "settings/IniFile.h"

#include <cstdlib>
#include <filesystem>

#include "settings/ProfileFile.h"

namespace moonglow {

namespace {

// The one table of defaults: what a missing file or key reads as, and what the
// options dialog's initial-values button sets.
struct TSettingsDefaults {
  bool FirstRun;
  std::int32_t FireCount, gFactor, kFactor, VNoise, DNoise;
  std::int32_t AllCastPer, ShidarePer, HanaichiPer, BotanPer, RanbuPer;
  TFireParam Kiku, Kiku3, Botan, Hiyuusei, Hachi;
};

constexpr TSettingsDefaults Defaults{
    .FirstRun = true,
    .FireCount = 5,
    .gFactor = 3,
    .kFactor = 10,
    .VNoise = 10,
    .DNoise = 5,
    .AllCastPer = 40,
    .ShidarePer = 80,
    .HanaichiPer = 60,
    .BotanPer = 40,
    .RanbuPer = 50,
    //      DrawLaunch SeedSize SeedCount V  FireLength Life dtFactor
    .Kiku = {true, 0, 150, 600, 250, 300, 10},
    .Kiku3 = {true, 0, 150, 400, 100, 200, 10},
    .Botan = {false, 0, 250, 300, 100, 40, 10},
    .Hiyuusei = {false, 0, 40, 200, 400, 300, 3},
    .Hachi = {false, 0, 50, 30, 200, 300, 10},
};

constexpr const char* Environment = "Environment";
constexpr const char* Theme = "Theme";

// A value outside [lo, hi] is replaced by `fallback`.
std::int32_t InRange(std::int32_t v, std::int32_t lo, std::int32_t hi, std::int32_t fallback) {
  return v < lo || v > hi ? fallback : v;
}

constexpr std::int32_t NoLimit = 2147483647;

}  // namespace

EIniFileError::EIniFileError(const std::string& fileName)
    : std::runtime_error(fileName + " に書き込めません") {}

TMyIniFile::TMyIniFile(std::string fileName, IFileServices& files)
    : FFileName(std::move(fileName)), FFiles(files) {}

void TMyIniFile::LoadDefaults() {
  FirstRun = Defaults.FirstRun;
  FireCount = Defaults.FireCount;
  gFactor = Defaults.gFactor;
  kFactor = Defaults.kFactor;
  VNoise = Defaults.VNoise;
  DNoise = Defaults.DNoise;
  AllCastPer = Defaults.AllCastPer;
  ShidarePer = Defaults.ShidarePer;
  HanaichiPer = Defaults.HanaichiPer;
  BotanPer = Defaults.BotanPer;
  RanbuPer = Defaults.RanbuPer;
  Kiku = Defaults.Kiku;
  Kiku3 = Defaults.Kiku3;
  Botan = Defaults.Botan;
  Hiyuusei = Defaults.Hiyuusei;
  Hachi = Defaults.Hachi;
}

void TMyIniFile::ReadSettings() {
  TProfileFile ini(FFileName, FFiles);
  FReadFailed = ini.ReadFailed();
  FirstRun = ini.ReadBool(Environment, "FirstRun", Defaults.FirstRun);
  // 10 is the size of the show's slot table.
  FireCount = InRange(ini.ReadInteger(Environment, "FireCount", Defaults.FireCount), 1, 10,
                      Defaults.FireCount);
  gFactor = InRange(ini.ReadInteger(Environment, "gFactor", Defaults.gFactor), 0, NoLimit,
                    Defaults.gFactor);
  kFactor = InRange(ini.ReadInteger(Environment, "kFactor", Defaults.kFactor), 0, NoLimit,
                    Defaults.kFactor);
  VNoise =
      InRange(ini.ReadInteger(Environment, "VNoise", Defaults.VNoise), 0, NoLimit, Defaults.VNoise);
  DNoise =
      InRange(ini.ReadInteger(Environment, "DNoise", Defaults.DNoise), 0, NoLimit, Defaults.DNoise);

  AllCastPer = InRange(ini.ReadInteger(Theme, "AllCastPer", Defaults.AllCastPer), 0, 100,
                       Defaults.AllCastPer);
  ShidarePer = InRange(ini.ReadInteger(Theme, "ShidarePer", Defaults.ShidarePer), 0, 100,
                       Defaults.ShidarePer);
  HanaichiPer = InRange(ini.ReadInteger(Theme, "HanaichiPer", Defaults.HanaichiPer), 0, 100,
                        Defaults.HanaichiPer);
  BotanPer =
      InRange(ini.ReadInteger(Theme, "BotanPer", Defaults.BotanPer), 0, 100, Defaults.BotanPer);
  RanbuPer =
      InRange(ini.ReadInteger(Theme, "RanbuPer", Defaults.RanbuPer), 0, 100, Defaults.RanbuPer);

  ReadFireParam(ini, Kiku, "Kiku", Defaults.Kiku);
  ReadFireParam(ini, Kiku3, "Kiku3", Defaults.Kiku3);
  ReadFireParam(ini, Botan, "Botan", Defaults.Botan);
  ReadFireParam(ini, Hiyuusei, "Hiyuusei", Defaults.Hiyuusei);
  ReadFireParam(ini, Hachi, "Hachi", Defaults.Hachi);
}

void TMyIniFile::ReadFireParam(TProfileFile& ini, TFireParam& param, const char* section,
                               const TFireParam& defaults) {
  // The fallbacks are the same for every kind, whatever the kind's defaults:
  // 500 stars and 600 trail slots are the sizes of a shell's arrays.
  param.DrawLaunch = ini.ReadBool(section, "DrawLaunch", defaults.DrawLaunch);
  param.SeedSize = InRange(ini.ReadInteger(section, "SeedSize", defaults.SeedSize), 0, 2, 0);
  param.SeedCount = InRange(ini.ReadInteger(section, "SeedCount", defaults.SeedCount), 1, 500, 200);
  param.V = InRange(ini.ReadInteger(section, "V", defaults.V), 1, NoLimit, 400);
  param.FireLength =
      InRange(ini.ReadInteger(section, "FireLength", defaults.FireLength), 1, 599, 200);
  param.Life = InRange(ini.ReadInteger(section, "Life", defaults.Life), 1, NoLimit, 200);
  param.dtFactor = InRange(ini.ReadInteger(section, "dtFactor", defaults.dtFactor), 1, NoLimit, 10);
}

void TMyIniFile::WriteSettings(bool clearFirstRun) {
  TProfileFile ini(FFileName, FFiles);
  if (FReadFailed) throw EIniFileError(ini.FullName());
  // One rewrite of the file for all the keys; a refusal still stops at the
  // refused key with the keys before it stored.
  ini.BeginUpdate();
  // The field itself is never stored: a write either ends the first-run
  // state or leaves the key as the file has it.
  if (clearFirstRun) ini.WriteBool(Environment, "FirstRun", false);
  ini.WriteInteger(Environment, "FireCount", FireCount);
  ini.WriteInteger(Environment, "gFactor", gFactor);
  ini.WriteInteger(Environment, "kFactor", kFactor);
  ini.WriteInteger(Environment, "VNoise", VNoise);
  ini.WriteInteger(Environment, "DNoise", DNoise);

  ini.WriteInteger(Theme, "AllCastPer", AllCastPer);
  ini.WriteInteger(Theme, "ShidarePer", ShidarePer);
  ini.WriteInteger(Theme, "HanaichiPer", HanaichiPer);
  ini.WriteInteger(Theme, "BotanPer", BotanPer);
  ini.WriteInteger(Theme, "RanbuPer", RanbuPer);

  WriteFireParam(ini, Kiku, "Kiku");
  WriteFireParam(ini, Kiku3, "Kiku3");
  WriteFireParam(ini, Botan, "Botan");
  WriteFireParam(ini, Hiyuusei, "Hiyuusei");
  WriteFireParam(ini, Hachi, "Hachi");
  ini.EndUpdate();
}

void TMyIniFile::WriteFireParam(TProfileFile& ini, const TFireParam& param, const char* section) {
  ini.WriteBool(section, "DrawLaunch", param.DrawLaunch);
  ini.WriteInteger(section, "SeedSize", param.SeedSize);
  ini.WriteInteger(section, "SeedCount", param.SeedCount);
  ini.WriteInteger(section, "V", param.V);
  ini.WriteInteger(section, "FireLength", param.FireLength);
  ini.WriteInteger(section, "Life", param.Life);
  ini.WriteInteger(section, "dtFactor", param.dtFactor);
}

std::string DefaultSettingsPath() {
  const auto env = [](const char* name) -> std::string {
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
  };
  std::filesystem::path dir;
  if (const std::string own = env("MOONGLOW_CONFIG_DIR"); !own.empty()) {
    dir = std::u8string(own.begin(), own.end());
  } else if (const std::string xdg = env("XDG_CONFIG_HOME"); !xdg.empty()) {
    dir = std::u8string(xdg.begin(), xdg.end());
  } else {
    // Windows has no HOME of its own; its profile directory stands in.
    std::string home = env("HOME");
    if (home.empty()) home = env("USERPROFILE");
    if (home.empty()) return SettingsFileName;
    dir = std::filesystem::path(std::u8string(home.begin(), home.end())) / ".config";
  }
  const std::u8string full = (dir / SettingsFileName).u8string();
  return std::string(full.begin(), full.end());
}

}  // namespace moonglow
