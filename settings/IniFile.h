#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include "settings/Environment.h"
#include "settings/FileServices.h"

namespace moonglow {

// The bare file name of the settings file; the directory is the platform's.
inline constexpr const char* SettingsFileName = "ZELMoonGlow3xx.ini";

// A refused write of the settings file. what() is "<file> に書き込めません",
// the file's name as MessageText echoes it.
class EIniFileError : public std::runtime_error {
 public:
  explicit EIniFileError(const std::string& fileName);
};

// Parameters of one shell kind, one block per kind.
struct TFireParam {
  bool DrawLaunch = false;      // draw the rising rocket before the burst
  std::int32_t SeedSize = 0;    // star size: 0 small, 1 large, 2 random per burst
  std::int32_t SeedCount = 0;   // stars in a burst, 1..500 after reading
  std::int32_t V = 0;           // initial burst speed, pixels per second
  std::int32_t FireLength = 0;  // trail points per star, 1..599 after reading
  std::int32_t Life = 0;        // length of the burning phase, in sweeps
  std::int32_t dtFactor = 0;    // time step in milliseconds
};

class TProfileFile;

// Every setting of the system. A new record is all zero; owners call
// ReadSettings straight after construction.
class TMyIniFile {
 public:
  // `fileName` is the full path of the settings file; `files` writes it and
  // must outlive the record.
  explicit TMyIniFile(std::string fileName, IFileServices& files = PortableFileServices());
  virtual ~TMyIniFile() = default;

  // Fills every field from the file; never fails (defaults and fallbacks).
  void ReadSettings();
  // Writes every field, FirstRun = 0 first only when `clearFirstRun` (the
  // caller knows whether this run ends the first-run state). Throws
  // EIniFileError at the first refused key, leaving the earlier keys written.
  // A record whose last read found the file there but unreadable holds
  // defaults, not the user's values: it writes nothing and throws, even if
  // the file has become readable since.
  void WriteSettings(bool clearFirstRun);

  // Every field at its default, FirstRun true: what a missing file reads as,
  // and what the options dialog's initial-values button sets.
  void LoadDefaults();

  const std::string& FileName() const { return FFileName; }

  bool FirstRun = false;
  std::int32_t FireCount = 0;   // shell slots, 1..10 after reading
  std::int32_t gFactor = 0;     // gravity: gFactor × 9.8
  std::int32_t kFactor = 0;     // air resistance: kFactor × 0.001
  std::int32_t VNoise = 0;      // spread of burst speeds, per cent
  std::int32_t DNoise = 0;      // spread of burst angles, degrees
  std::int32_t AllCastPer = 0;  // theme weights, 0..100 each
  std::int32_t ShidarePer = 0;
  std::int32_t HanaichiPer = 0;
  std::int32_t BotanPer = 0;
  std::int32_t RanbuPer = 0;
  TFireParam Kiku;
  TFireParam Kiku3;
  TFireParam Botan;
  TFireParam Hiyuusei;
  TFireParam Hachi;

 private:
  void ReadFireParam(TProfileFile& ini, TFireParam& param, const char* section,
                     const TFireParam& defaults);
  void WriteFireParam(TProfileFile& ini, const TFireParam& param, const char* section);

  std::string FFileName;
  IFileServices& FFiles;
  bool FReadFailed = false;
};

// The settings file's full path on this machine: the directory named by
// MOONGLOW_CONFIG_DIR, else $XDG_CONFIG_HOME, else ~/.config (with
// %USERPROFILE% standing in for an unset HOME), as `env` has them. Paths are
// UTF-8.
std::string DefaultSettingsPath(const TEnvironment& env);

}  // namespace moonglow
