#include "settings/IniFile.h"

#include <filesystem>

#include "settings/ProfileFile.h"
#include "settings/Schema.h"
#include "settings/TextEncoding.h"

namespace moonglow {

namespace {

// A value outside [lo, hi] is replaced by `fallback`.
std::int32_t InRange(std::int32_t v, std::int32_t lo, std::int32_t hi, std::int32_t fallback) {
  return v < lo || v > hi ? fallback : v;
}

// What the file holds for `row` in `section`, `fallback` where it holds
// nothing usable.
std::int32_t ReadValue(TProfileFile& ini, const TSettingRow& row, const char* section,
                       std::int32_t fallback) {
  if (row.Field.IsFlag()) return ini.ReadBool(section, row.Key, fallback != 0) ? 1 : 0;
  return InRange(ini.ReadInteger(section, row.Key, fallback), row.FileMin, row.FileMax,
                 row.Fallback.value_or(fallback));
}

void WriteValue(TProfileFile& ini, const TSettingRow& row, const char* section,
                std::int32_t value) {
  if (!row.Stored) return;
  if (row.Field.IsFlag())
    ini.WriteBool(section, row.Key, value != 0);
  else
    ini.WriteInteger(section, row.Key, value);
}

}  // namespace

EIniFileError::EIniFileError(const std::string& fileName)
    : std::runtime_error(MessageText(fileName, MessagePathLimit) + " に書き込めません") {}

TMyIniFile::TMyIniFile(std::string fileName, IFileServices& files)
    : FFileName(std::move(fileName)), FFiles(files) {}

void TMyIniFile::LoadDefaults() {
  for (const TSettingRow& row : GlobalRows()) SetSetting(*this, row, nullptr, row.Default);
  for (const TKindRow& kind : KindRows()) this->*kind.Block = kind.Defaults;
}

void TMyIniFile::ReadSettings() {
  TProfileFile ini(FFileName, FFiles);
  FReadFailed = ini.ReadFailed();
  for (const TSettingRow& row : GlobalRows())
    SetSetting(*this, row, nullptr, ReadValue(ini, row, row.Section, row.Default));
  for (const TKindRow& kind : KindRows())
    ReadFireParam(ini, this->*kind.Block, kind.Section, kind.Defaults);
}

void TMyIniFile::ReadFireParam(TProfileFile& ini, TFireParam& param, const char* section,
                               const TFireParam& defaults) {
  for (const TSettingRow& row : BlockRows())
    SetBlockField(param, row, ReadValue(ini, row, section, BlockField(defaults, row)));
}

void TMyIniFile::WriteSettings(bool clearFirstRun) {
  TProfileFile ini(FFileName, FFiles);
  if (FReadFailed) throw EIniFileError(ini.FullName());
  // One rewrite of the file for all the keys; a refusal still stops at the
  // refused key with the keys before it stored.
  ini.BeginUpdate();
  // The field itself is never stored: a write either ends the first-run
  // state or leaves the key as the file has it.
  const TSettingRow& firstRun = GlobalRows().front();
  if (clearFirstRun) ini.WriteBool(firstRun.Section, firstRun.Key, false);
  for (const TSettingRow& row : GlobalRows())
    WriteValue(ini, row, row.Section, GetSetting(*this, row, nullptr));
  for (const TKindRow& kind : KindRows()) WriteFireParam(ini, this->*kind.Block, kind.Section);
  ini.EndUpdate();
}

void TMyIniFile::WriteFireParam(TProfileFile& ini, const TFireParam& param, const char* section) {
  for (const TSettingRow& row : BlockRows()) WriteValue(ini, row, section, BlockField(param, row));
}

std::string DefaultSettingsPath(const TEnvironment& environment) {
  const auto env = [&environment](const char* name) { return VariableOrEmpty(environment, name); };
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
