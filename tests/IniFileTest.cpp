#include "settings/IniFile.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <random>
#include <sstream>

#include "tests/Environment.h"
#include "tests/FileText.h"

namespace moonglow {
namespace {

namespace fs = std::filesystem;

void ExpectParam(const TFireParam& p, bool drawLaunch, int seedSize, int seedCount, int v,
                 int fireLength, int life, int dtFactor, const char* kind) {
  SCOPED_TRACE(kind);
  EXPECT_EQ(p.DrawLaunch, drawLaunch);
  EXPECT_EQ(p.SeedSize, seedSize);
  EXPECT_EQ(p.SeedCount, seedCount);
  EXPECT_EQ(p.V, v);
  EXPECT_EQ(p.FireLength, fireLength);
  EXPECT_EQ(p.Life, life);
  EXPECT_EQ(p.dtFactor, dtFactor);
}

// The documented defaults, written out by hand.
void ExpectDefaults(const TMyIniFile& s) {
  EXPECT_TRUE(s.FirstRun);
  EXPECT_EQ(s.FireCount, 5);
  EXPECT_EQ(s.gFactor, 3);
  EXPECT_EQ(s.kFactor, 10);
  EXPECT_EQ(s.VNoise, 10);
  EXPECT_EQ(s.DNoise, 5);
  EXPECT_EQ(s.AllCastPer, 40);
  EXPECT_EQ(s.ShidarePer, 80);
  EXPECT_EQ(s.HanaichiPer, 60);
  EXPECT_EQ(s.BotanPer, 40);
  EXPECT_EQ(s.RanbuPer, 50);
  ExpectParam(s.Kiku, true, 0, 150, 600, 250, 300, 10, "Kiku");
  ExpectParam(s.Kiku3, true, 0, 150, 400, 100, 200, 10, "Kiku3");
  ExpectParam(s.Botan, false, 0, 250, 300, 100, 40, 10, "Botan");
  ExpectParam(s.Hiyuusei, false, 0, 40, 200, 400, 300, 3, "Hiyuusei");
  ExpectParam(s.Hachi, false, 0, 50, 30, 200, 300, 10, "Hachi");
}

// What WriteSettings stores into a fresh file from the default record, keys in write order.
const std::string FreshDefaultsBody =
    "FireCount=5\ngFactor=3\nkFactor=10\nVNoise=10\nDNoise=5\n"
    "\n[Theme]\nAllCastPer=40\nShidarePer=80\nHanaichiPer=60\nBotanPer=40\nRanbuPer=50\n"
    "\n[Kiku]\nDrawLaunch=1\nSeedSize=0\nSeedCount=150\nV=600\nFireLength=250\nLife=300\n"
    "dtFactor=10\n"
    "\n[Kiku3]\nDrawLaunch=1\nSeedSize=0\nSeedCount=150\nV=400\nFireLength=100\nLife=200\n"
    "dtFactor=10\n"
    "\n[Botan]\nDrawLaunch=0\nSeedSize=0\nSeedCount=250\nV=300\nFireLength=100\nLife=40\n"
    "dtFactor=10\n"
    "\n[Hiyuusei]\nDrawLaunch=0\nSeedSize=0\nSeedCount=40\nV=200\nFireLength=400\nLife=300\n"
    "dtFactor=3\n"
    "\n[Hachi]\nDrawLaunch=0\nSeedSize=0\nSeedCount=50\nV=30\nFireLength=200\nLife=300\n"
    "dtFactor=10\n";

int CountKeyLines(const std::string& text) {
  int n = 0;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) n += line.find('=') != std::string::npos;
  return n;
}

class IniFileTest : public ::testing::Test {
 protected:
  TMyIniFile Read(const std::string& text) {
    Spit(File, text);
    TMyIniFile s(File.string());
    s.ReadSettings();
    return s;
  }

  TScratchDir Scratch{"moonglow-ini-"};
  fs::path Dir = Scratch.Path();
  fs::path File = Dir / SettingsFileName;
};

// --- Defaults ------------------------------------------------------------------------------

TEST_F(IniFileTest, NewRecordIsZeroAndDefaultsComeFromOneTable) {
  TMyIniFile fresh(File.string());
  EXPECT_FALSE(fresh.FirstRun);
  EXPECT_EQ(fresh.FireCount, 0);
  EXPECT_EQ(fresh.Hachi.dtFactor, 0);

  fresh.LoadDefaults();
  ExpectDefaults(fresh);

  TMyIniFile missing((Dir / "absent.ini").string());
  missing.ReadSettings();
  ExpectDefaults(missing);
  EXPECT_FALSE(fs::exists(Dir / "absent.ini"));

  // Keys present but not integers read as the defaults too.
  ExpectDefaults(Read("[Environment]\nFireCount=five\ngFactor=\n[Kiku]\nV=6OO\n"));
}

// --- Reading: range rules ------------------------------------------------------------------

TEST_F(IniFileTest, EnvironmentAndThemeRanges) {
  struct Case {
    const char* text;
    std::int32_t TMyIniFile::*field;
    std::int32_t expected;
  };
  const Case cases[] = {
      {"[Environment]\nFireCount=0\n", &TMyIniFile::FireCount, 5},
      {"[Environment]\nFireCount=11\n", &TMyIniFile::FireCount, 5},
      {"[Environment]\nFireCount=10\n", &TMyIniFile::FireCount, 10},
      {"[Environment]\nFireCount=1\n", &TMyIniFile::FireCount, 1},
      {"[Environment]\nFireCount=0xA\n", &TMyIniFile::FireCount, 10},
      {"[Environment]\nFireCount=$A\n", &TMyIniFile::FireCount, 10},
      {"[Environment]\nFireCount=1a\n", &TMyIniFile::FireCount, 5},
      {"[Environment]\ngFactor=-1\n", &TMyIniFile::gFactor, 3},
      {"[Environment]\ngFactor=500\n", &TMyIniFile::gFactor, 500},
      {"[Environment]\ngFactor=0\n", &TMyIniFile::gFactor, 0},
      {"[Environment]\nkFactor=2147483647\n", &TMyIniFile::kFactor, 2147483647},
      {"[Environment]\nkFactor=-5\n", &TMyIniFile::kFactor, 10},
      {"[Environment]\nVNoise=-1\n", &TMyIniFile::VNoise, 10},
      {"[Environment]\nDNoise=-1\n", &TMyIniFile::DNoise, 5},
      {"[Environment]\nDNoise=2147483648\n", &TMyIniFile::DNoise, 5},
      {"[Theme]\nShidarePer=101\n", &TMyIniFile::ShidarePer, 80},
      {"[Theme]\nShidarePer=0\n", &TMyIniFile::ShidarePer, 0},
      {"[Theme]\nAllCastPer=100\n", &TMyIniFile::AllCastPer, 100},
      {"[Theme]\nAllCastPer=-1\n", &TMyIniFile::AllCastPer, 40},
      {"[Theme]\nHanaichiPer=101\n", &TMyIniFile::HanaichiPer, 60},
      {"[Theme]\nBotanPer=200\n", &TMyIniFile::BotanPer, 40},
      {"[Theme]\nRanbuPer=-100\n", &TMyIniFile::RanbuPer, 50},
      // A theme key in the wrong section is not seen.
      {"[Environment]\nRanbuPer=7\n", &TMyIniFile::RanbuPer, 50},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Read(c.text).*c.field, c.expected) << c.text;
  }
}

TEST_F(IniFileTest, KindRangesFallBackToFixedValuesNotTheKindsDefaults) {
  EXPECT_EQ(Read("[Botan]\nSeedCount=0\n").Botan.SeedCount, 200);  // Botan's default is 250
  EXPECT_EQ(Read("[Hachi]\nV=0\n").Hachi.V, 400);                  // Hachi's default is 30
  EXPECT_EQ(Read("[Kiku]\nFireLength=599\n").Kiku.FireLength, 599);
  EXPECT_EQ(Read("[Kiku]\nFireLength=600\n").Kiku.FireLength, 200);
  EXPECT_EQ(Read("[Kiku3]\nSeedSize=3\n").Kiku3.SeedSize, 0);
  EXPECT_EQ(Read("[Kiku3]\nSeedSize=2\n").Kiku3.SeedSize, 2);
  EXPECT_EQ(Read("[Kiku3]\nSeedSize=-1\n").Kiku3.SeedSize, 0);
  EXPECT_EQ(Read("[Hiyuusei]\nSeedCount=500\n").Hiyuusei.SeedCount, 500);
  EXPECT_EQ(Read("[Hiyuusei]\nSeedCount=501\n").Hiyuusei.SeedCount, 200);
  EXPECT_EQ(Read("[Hiyuusei]\nLife=0\n").Hiyuusei.Life, 200);
  EXPECT_EQ(Read("[Hiyuusei]\ndtFactor=0\n").Hiyuusei.dtFactor, 10);  // Hiyuusei's default is 3
  EXPECT_EQ(Read("[Hachi]\nFireLength=0\n").Hachi.FireLength, 200);

  EXPECT_TRUE(Read("[Botan]\nDrawLaunch=2\n").Botan.DrawLaunch);
  EXPECT_FALSE(Read("[Botan]\nDrawLaunch=yes\n").Botan.DrawLaunch);  // Botan's default
  EXPECT_TRUE(Read("[Kiku]\nDrawLaunch=yes\n").Kiku.DrawLaunch);     // Kiku's default
  EXPECT_FALSE(Read("[Kiku]\nDrawLaunch=0\n").Kiku.DrawLaunch);

  EXPECT_FALSE(Read("[Environment]\nFirstRun=0\n").FirstRun);
  EXPECT_TRUE(Read("[Environment]\nFirstRun=-3\n").FirstRun);
  EXPECT_TRUE(Read("[Environment]\nFirstRun=no\n").FirstRun);

  // Each section holds its own block.
  const TMyIniFile s = Read(
      "[hachi]\nseedcount=7\n[Kiku]\nSeedCount=8\n[Kiku3]\nSeedCount=9\n"
      "[BOTAN]\nSeedCount=10\n[Hiyuusei]\nSeedCount=11\n");
  EXPECT_EQ(s.Hachi.SeedCount, 7);
  EXPECT_EQ(s.Kiku.SeedCount, 8);
  EXPECT_EQ(s.Kiku3.SeedCount, 9);
  EXPECT_EQ(s.Botan.SeedCount, 10);
  EXPECT_EQ(s.Hiyuusei.SeedCount, 11);
}

// --- Writing -------------------------------------------------------------------------------

TEST_F(IniFileTest, FreshFileListsKeysInWriteOrder) {
  TMyIniFile s(File.string());
  s.ReadSettings();
  s.WriteSettings(false);
  const std::string configured = Slurp(File);
  EXPECT_EQ(configured, "[Environment]\n" + FreshDefaultsBody);
  EXPECT_EQ(CountKeyLines(configured), 45);

  fs::remove(File);
  s.WriteSettings(true);
  const std::string saved = Slurp(File);
  EXPECT_EQ(saved, "[Environment]\nFirstRun=0\n" + FreshDefaultsBody);
  EXPECT_EQ(CountKeyLines(saved), 46);
  // The constant 0 is stored, not the field.
  EXPECT_TRUE(s.FirstRun);
}

TEST_F(IniFileTest, FirstRunIsEndedOnlyByTheFullScreenShow) {
  TMyIniFile s(File.string());
  s.ReadSettings();
  s.WriteSettings(false);
  s.ReadSettings();
  EXPECT_TRUE(s.FirstRun);

  s.WriteSettings(true);
  s.FirstRun = true;  // a non-Saver write must not bring it back
  s.WriteSettings(false);
  s.WriteSettings(false);
  s.ReadSettings();
  EXPECT_FALSE(s.FirstRun);

  Spit(File, "[Environment]\nFirstRun=7\n");
  s.WriteSettings(false);
  EXPECT_TRUE(Slurp(File).starts_with("[Environment]\nFirstRun=7\nFireCount=5\n"));
}

TEST_F(IniFileTest, WritesEveryFieldAsItIsAndKeepsForeignContent) {
  Spit(File,
       "; hand-edited\n"
       "[theme]\n"
       "botanper = 12\n"
       "Extra=keep\n"
       "\n"
       "[Environment]\n"
       "FireCount=77\n"
       "[Mine]\n"
       "x=1\n");
  TMyIniFile s(File.string());
  s.ReadSettings();
  EXPECT_EQ(s.FireCount, 5);  // replaced on read...
  EXPECT_EQ(s.BotanPer, 12);
  s.gFactor = -9;  // ...and nothing is range-checked on writing
  s.Hachi.SeedCount = 100000;
  s.Kiku.DrawLaunch = false;
  s.WriteSettings(false);
  const std::string text = Slurp(File);
  EXPECT_TRUE(text.starts_with(
      "; hand-edited\n[theme]\nbotanper=12\nExtra=keep\nAllCastPer=40\nShidarePer=80\n"
      "HanaichiPer=60\nRanbuPer=50\n\n[Environment]\nFireCount=5\ngFactor=-9\nkFactor=10\n"
      "VNoise=10\nDNoise=5\n[Mine]\nx=1\n\n[Kiku]\nDrawLaunch=0\n"))
      << text;
  EXPECT_NE(text.find("[Hachi]\nDrawLaunch=0\nSeedSize=0\nSeedCount=100000\n"), std::string::npos);
  EXPECT_EQ(CountKeyLines(text), 45 + 2);

  TMyIniFile again(File.string());
  again.ReadSettings();
  EXPECT_EQ(again.gFactor, 3);
  EXPECT_EQ(again.Hachi.SeedCount, 200);
  EXPECT_FALSE(again.Kiku.DrawLaunch);
  EXPECT_EQ(again.BotanPer, 12);
}

TEST_F(IniFileTest, RefusedWriteReportsTheFileAndChangesNothing) {
  Spit(File, "[Environment]\nFireCount=3\n");
  fs::permissions(File, fs::perms::owner_read);
  TMyIniFile s(File.string());
  s.ReadSettings();
  s.FireCount = 9;
  try {
    s.WriteSettings(true);
    FAIL() << "write to a read-only file succeeded";
  } catch (const EIniFileError& e) {
    EXPECT_EQ(std::string(e.what()), File.string() + " に書き込めません");
  }
  EXPECT_EQ(Slurp(File), "[Environment]\nFireCount=3\n");

  fs::permissions(File, fs::perms::owner_all);
  fs::permissions(Dir, fs::perms::owner_read | fs::perms::owner_exec);
  EXPECT_THROW(s.WriteSettings(false), EIniFileError);
  EXPECT_EQ(Slurp(File), "[Environment]\nFireCount=3\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(Dir), fs::directory_iterator()), 1);
}

// The path comes from the user's environment: the box or line that names it
// stays one line.
TEST_F(IniFileTest, ARefusedPathIsNamedOnOneLine) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows allows no control character in a file name";
#endif
  const fs::path odd = Dir / "two\nlines";
  fs::create_directories(odd);
  const fs::path file = odd / "ZELMoonGlow3xx.ini";
  Spit(file, "[Environment]\nFireCount=3\n");
  fs::permissions(file, fs::perms::owner_read);
  TMyIniFile s(file.string());
  s.ReadSettings();
  try {
    s.WriteSettings(false);
    FAIL() << "write to a read-only file succeeded";
  } catch (const EIniFileError& e) {
    EXPECT_EQ(std::string(e.what()),
              (Dir / "two\\nlines" / "ZELMoonGlow3xx.ini").string() + " に書き込めません");
  }
}

TEST_F(IniFileTest, ARecordReadFromAnUnreadableFileNeverStoresItsDefaults) {
  fs::create_directories(File);  // something that cannot be read as a file
  TMyIniFile s(File.string());
  s.ReadSettings();
  ExpectDefaults(s);
  try {
    s.WriteSettings(true);
    FAIL() << "the defaults were stored over an unreadable file";
  } catch (const EIniFileError& e) {
    EXPECT_EQ(std::string(e.what()), File.string() + " に書き込めません");
  }
  EXPECT_TRUE(fs::is_directory(File));

  // The user's file is back, readable: the record still holds defaults, not
  // the user's values, and must not put them over the file.
  fs::remove(File);
  const std::string own = "[Environment]\nFireCount=7\ngFactor=12345\n[Kiku]\nSeedCount=499\n";
  Spit(File, own);
  EXPECT_THROW(s.WriteSettings(true), EIniFileError);
  EXPECT_EQ(Slurp(File), own);

  s.ReadSettings();
  EXPECT_EQ(s.gFactor, 12345);
  s.WriteSettings(true);
  TMyIniFile again(File.string());
  again.ReadSettings();
  EXPECT_EQ(again.FireCount, 7);
  EXPECT_EQ(again.Kiku.SeedCount, 499);
}

TEST_F(IniFileTest, FiftyMegabytesOfJunkThenASave) {
  std::mt19937 gen(7);
  std::string junk(50u << 20, '\0');
  for (char& c : junk) c = static_cast<char>(gen());
  junk += "\n[Environment]\nFireCount=8\n";
  Spit(File, junk);
  TMyIniFile s(File.string());
  s.ReadSettings();
  EXPECT_EQ(s.FireCount, 8);
  s.WriteSettings(true);
  s.ReadSettings();
  EXPECT_FALSE(s.FirstRun);
  EXPECT_EQ(s.FireCount, 8);
  EXPECT_EQ(s.Hachi.V, 30);
  EXPECT_EQ(fs::file_size(File), junk.size() + 11 + FreshDefaultsBody.size() - 12);
}

// --- Where the file lives ------------------------------------------------------------------

TEST(IniFilePath, OwnDirectoryThenXdgThenHomeThenProfile) {
  const auto path = [](std::map<std::string, std::string, std::less<>> variables) {
    return DefaultSettingsPath(testing::EnvironmentOf(std::move(variables)));
  };
  const fs::path own = path({{"MOONGLOW_CONFIG_DIR", "/tmp/own"},
                             {"XDG_CONFIG_HOME", "/tmp/xdg"},
                             {"HOME", "/tmp/home"}});
  EXPECT_EQ(own, fs::path("/tmp/own") / "ZELMoonGlow3xx.ini");
  // Set but empty counts as unset.
  const fs::path xdg =
      path({{"MOONGLOW_CONFIG_DIR", ""}, {"XDG_CONFIG_HOME", "/tmp/xdg"}, {"HOME", "/tmp/home"}});
  EXPECT_EQ(xdg, fs::path("/tmp/xdg") / "ZELMoonGlow3xx.ini");
  const fs::path home = path({{"XDG_CONFIG_HOME", ""}, {"HOME", "/tmp/home"}});
  EXPECT_EQ(home, fs::path("/tmp/home") / ".config" / "ZELMoonGlow3xx.ini");
  const fs::path profile = path({{"HOME", ""}, {"USERPROFILE", "/tmp/profile"}});
  EXPECT_EQ(profile, fs::path("/tmp/profile") / ".config" / "ZELMoonGlow3xx.ini");
  EXPECT_EQ(DefaultSettingsPath({}), "ZELMoonGlow3xx.ini");
}

}  // namespace
}  // namespace moonglow
