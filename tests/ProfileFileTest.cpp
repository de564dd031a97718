#include "settings/ProfileFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "settings/FileServices.h"
#include "settings/IniFile.h"
#include "tests/FileText.h"

namespace moonglow {
namespace {

namespace fs = std::filesystem;

// A fresh directory per test, removed afterwards (write bits restored first).
class ProfileFileTest : public ::testing::Test {
 protected:
  std::vector<std::string> DirEntries() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(Dir)) names.push_back(e.path().filename().string());
    return names;
  }

  TScratchDir Scratch{"moonglow-profile-"};
  fs::path Dir = Scratch.Path();
  fs::path File = Dir / "test.ini";
};

// --- Integers ------------------------------------------------------------------------------

TEST(ProfileInteger, AcceptsDecimalAndHexForms) {
  EXPECT_EQ(TProfileFile::ParseInteger("10"), 10);
  EXPECT_EQ(TProfileFile::ParseInteger("+7"), 7);
  EXPECT_EQ(TProfileFile::ParseInteger("-1"), -1);
  EXPECT_EQ(TProfileFile::ParseInteger("007"), 7);
  EXPECT_EQ(TProfileFile::ParseInteger(" \t42"), 42);
  EXPECT_EQ(TProfileFile::ParseInteger("0"), 0);
  EXPECT_EQ(TProfileFile::ParseInteger("0xA"), 10);
  EXPECT_EQ(TProfileFile::ParseInteger("0Xff"), 255);
  EXPECT_EQ(TProfileFile::ParseInteger("$A"), 10);
  EXPECT_EQ(TProfileFile::ParseInteger("$7FFFFFFF"), 2147483647);
  EXPECT_EQ(TProfileFile::ParseInteger("2147483647"), 2147483647);
  EXPECT_EQ(TProfileFile::ParseInteger("-2147483648"), -2147483647 - 1);
  EXPECT_EQ(TProfileFile::ParseInteger("00000000000000000000012"), 12);
}

TEST(ProfileInteger, RejectsEverythingElse) {
  for (const char* bad : {"",
                          " ",
                          "1a",
                          "a1",
                          "10 ",
                          "1.5",
                          "1e3",
                          "+",
                          "-",
                          "--1",
                          "+-1",
                          "- 1",
                          "0x",
                          "$",
                          "0xG",
                          "-0x1",
                          "-$1",
                          "$-1",
                          "x1",
                          "2147483648",
                          "-2147483649",
                          "99999999999999999999",
                          "$80000000",
                          "0xFFFFFFFF",
                          "$100000000",
                          "1\r"}) {
    EXPECT_FALSE(TProfileFile::ParseInteger(bad).has_value()) << '"' << bad << '"';
  }
  EXPECT_FALSE(TProfileFile::ParseInteger(std::string_view("1\0", 2)).has_value());
}

// --- Reading -------------------------------------------------------------------------------

TEST_F(ProfileFileTest, ReadsNamesWithoutCaseAndValuesWithoutBlanks) {
  Spit(File,
       "; a comment=1\n"
       "# another=2\n"
       "[environment]\n"
       "  FIRECOUNT  =  7 \t\n"
       ";commented=5\n"
       "#hashed=6\n"
       "quoted=\"8\"\n"
       "single=' 9 '\n"
       "no equals sign here\n"
       "empty=\n"
       "[ Theme ]\n"
       "AllCastPer=41\n");
  const TProfileFile ini(File.string());
  EXPECT_EQ(ini.ReadString("Environment", "FireCount"), "7");
  EXPECT_EQ(ini.ReadInteger("ENVIRONMENT", "firecount", 5), 7);
  EXPECT_EQ(ini.ReadInteger("Environment", "quoted", 0), 8);
  EXPECT_EQ(ini.ReadString("Environment", "single"), " 9 ");
  EXPECT_EQ(ini.ReadInteger("Environment", "empty", 3), 3);
  EXPECT_EQ(ini.ReadString("Environment", "empty"), "");
  EXPECT_EQ(ini.ReadInteger("Theme", "AllCastPer", 0), 41);
  // Comment lines hold no keys, wherever they stand.
  EXPECT_EQ(ini.ReadString("Environment", ";commented"), "");
  EXPECT_EQ(ini.ReadString("Environment", "#hashed"), "");
  EXPECT_EQ(ini.ReadString("Environment", "no equals sign here"), "");
  EXPECT_EQ(ini.ReadInteger("Environment", "Missing", -4), -4);
  EXPECT_EQ(ini.ReadInteger("Missing", "FireCount", -4), -4);
  // A key belongs to its own section only.
  EXPECT_EQ(ini.ReadString("Theme", "FireCount"), "");
}

TEST_F(ProfileFileTest, BooleansAreIntegersAndDefaults) {
  Spit(File, "[S]\nTwo=2\nZero=0\nMinus=-1\nWord=yes\n");
  const TProfileFile ini(File.string());
  EXPECT_TRUE(ini.ReadBool("S", "Two", false));
  EXPECT_FALSE(ini.ReadBool("S", "Zero", true));
  EXPECT_TRUE(ini.ReadBool("S", "Minus", false));
  EXPECT_TRUE(ini.ReadBool("S", "Word", true));
  EXPECT_FALSE(ini.ReadBool("S", "Word", false));
  EXPECT_TRUE(ini.ReadBool("S", "Absent", true));
}

TEST_F(ProfileFileTest, DuplicatesResolveToTheFirstOccurrence) {
  Spit(File, "[A]\nk=1\nk=2\n[B]\nk=3\n[a]\nk=4\nonly=5\n");
  const TProfileFile ini(File.string());
  EXPECT_EQ(ini.ReadInteger("A", "k", 0), 1);
  EXPECT_EQ(ini.ReadInteger("B", "k", 0), 3);
  // The second [a] is not looked at.
  EXPECT_EQ(ini.ReadInteger("A", "only", 0), 0);
}

TEST_F(ProfileFileTest, LineEndsByteOrderMarkAndOddHeaders) {
  Spit(File, "\xEF\xBB\xBF[First]\r\nA=1\r\n\r\n[Second]\r\nB = 2 \r\n[Open\nC=3\n[]\nD=4");
  const TProfileFile ini(File.string());
  EXPECT_EQ(ini.ReadInteger("First", "A", 0), 1);
  EXPECT_EQ(ini.ReadString("Second", "B"), "2");
  EXPECT_EQ(ini.ReadInteger("Open", "C", 0), 3);  // a header without ']' still opens a section
  EXPECT_EQ(ini.ReadInteger("", "D", 0), 4);      // last line without a line end
}

// A UTF-16 file laid out unit by unit, with its mark, independently of the reader.
std::string Utf16File(std::u16string_view units, bool bigEndian) {
  std::string s = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
  for (const char16_t u : units) {
    s += static_cast<char>(bigEndian ? u >> 8 : u & 0xFF);
    s += static_cast<char>(bigEndian ? u & 0xFF : u >> 8);
  }
  return s;
}

TEST_F(ProfileFileTest, Utf16FilesReadAndWriteInTheirOwnEncoding) {
  // U+5B0A is the bytes "\n[" in little-endian order and U+0A5B in big-endian
  // order: read as bytes, either would open a section that is not there.
  const std::u16string before =
      u"; \u82B1\u706B \u5B0A\u0A5B\r\n[Environment]\r\nFireCount = 7\r\nName=\u6708\r\n"
      u"[Theme]\r\nAllCastPer=41\r\n";
  for (const bool bigEndian : {false, true}) {
    SCOPED_TRACE(bigEndian ? "big-endian" : "little-endian");
    Spit(File, Utf16File(before, bigEndian));
    TProfileFile ini(File.string());
    EXPECT_EQ(ini.ReadInteger("Environment", "FireCount", 0), 7);
    EXPECT_EQ(ini.ReadString("Environment", "Name"), "\xE6\x9C\x88");
    EXPECT_EQ(ini.ReadInteger("Theme", "AllCastPer", 0), 41);
    ini.WriteInteger("Environment", "FireCount", 3);
    ini.WriteInteger("Hachi", "Life", 20);
    EXPECT_EQ(Slurp(File), Utf16File(u"; \u82B1\u706B \u5B0A\u0A5B\r\n[Environment]\r\n"
                                     u"FireCount=3\r\nName=\u6708\r\n[Theme]\r\n"
                                     u"AllCastPer=41\r\n\r\n[Hachi]\r\nLife=20\r\n",
                                     bigEndian));
  }
}

TEST_F(ProfileFileTest, BrokenUtf16KeepsItsBytesAroundAnEdit) {
  // Lone surrogates in a comment and a value, and an odd byte at the end.
  const std::u16string lone = {char16_t(0xDC01), char16_t(0xD800)};
  Spit(File, Utf16File(u";" + lone + u"\n[S]\nv=" + lone + u"\nk=1\n", false) + "\x0A");
  TProfileFile ini(File.string());
  EXPECT_EQ(ini.ReadString("S", "v"), "\xED\xB0\x81\xED\xA0\x80");
  ini.WriteInteger("S", "k", 2);
  EXPECT_EQ(Slurp(File), Utf16File(u";" + lone + u"\n[S]\nv=" + lone + u"\nk=2\n", false) + "\x0A");
}

TEST_F(ProfileFileTest, AByteOrderMarkAloneStaysInFront) {
  // A file with no line end of its own gets the platform's.
#ifdef _WIN32
  const std::u16string expected = u"[S]\r\nk=1\r\n";
#else
  const std::u16string expected = u"[S]\nk=1\n";
#endif
  const std::string narrow(expected.begin(), expected.end());
  for (const std::string mark : {"\xEF\xBB\xBF", "\xFF\xFE"}) {
    Spit(File, mark);
    TProfileFile(File.string()).WriteInteger("S", "k", 1);
    EXPECT_EQ(Slurp(File), mark == "\xFF\xFE" ? Utf16File(expected, false) : mark + narrow);
  }
}

TEST_F(ProfileFileTest, MissingUnreadableAndDirectoryPathsReadAsEmpty) {
  EXPECT_EQ(TProfileFile((Dir / "absent.ini").string()).ReadInteger("S", "k", 9), 9);
  EXPECT_EQ(TProfileFile(Dir.string()).ReadInteger("S", "k", 9), 9);
  EXPECT_EQ(TProfileFile("").ReadInteger("S", "k", 9), 9);
}

TEST_F(ProfileFileTest, FiftyMegabytesOfShortLinesReadAndBatchedWrite) {
  // Short lines are the costly case for a line scanner: over six million here.
  std::string big;
  big.reserve(51 << 20);
  big += "[Environment]\n";
  for (int i = 0; big.size() < (50u << 20); ++i) big += "k" + std::to_string(i % 1000) + "=v\n";
  big += "FireCount=7\n[Theme]\nAllCastPer=12\n";
  Spit(File, big);

  TProfileFile ini(File.string());
  EXPECT_EQ(ini.ReadInteger("Environment", "FireCount", 0), 7);
  EXPECT_EQ(ini.ReadInteger("Environment", "Absent", 1), 1);
  EXPECT_EQ(ini.ReadInteger("Theme", "AllCastPer", 0), 12);
  ini.BeginUpdate();
  for (int i = 0; i < 20; ++i) {
    ini.WriteInteger("Environment", "FireCount", i);
    ini.WriteInteger("Theme", "New" + std::to_string(i), i);
    ini.WriteInteger("Fresh", "K" + std::to_string(i), i);
  }
  ini.EndUpdate();
  const TProfileFile reread(File.string());
  EXPECT_EQ(reread.ReadInteger("Environment", "FireCount", 0), 19);
  EXPECT_EQ(reread.ReadInteger("Theme", "New19", 0), 19);
  EXPECT_EQ(reread.ReadInteger("Fresh", "K19", 0), 19);
  EXPECT_EQ(reread.Text().size(), ini.Text().size());
}

// --- Writing -------------------------------------------------------------------------------

TEST_F(ProfileFileTest, ReplacesInPlaceAndKeepsEverythingElse) {
  Spit(File,
       "; header comment\n"
       "[Environment]\n"
       "  fireCOUNT = 3\n"
       "Unknown=x\n"
       "\n"
       "# closing comment\n"
       "[Other]\n"
       "keep=me\n");
  TProfileFile ini(File.string());
  ini.WriteInteger("ENVIRONMENT", "FireCount", 10);
  ini.WriteInteger("Environment", "gFactor", -2);
  ini.WriteBool("Other", "Flag", true);
  ini.WriteInteger("Theme", "AllCastPer", 40);
  ini.WriteBool("Theme", "Off", false);
  EXPECT_EQ(Slurp(File),
            "; header comment\n"
            "[Environment]\n"
            "fireCOUNT=10\n"
            "Unknown=x\n"
            "gFactor=-2\n"
            "\n"
            "# closing comment\n"
            "[Other]\n"
            "keep=me\n"
            "Flag=1\n"
            "\n"
            "[Theme]\n"
            "AllCastPer=40\n"
            "Off=0\n");
  EXPECT_EQ(ini.Text(), Slurp(File));
}

TEST_F(ProfileFileTest, WritesFollowTheFileShape) {
  // CRLF kept, the BOM kept, a missing final line end mended, first duplicates replaced.
  Spit(File, "\xEF\xBB\xBF[A]\r\nk=1\r\n[B]\r\nk=2\r\n[a]\r\nk=3\r\n[Empty]");
  TProfileFile ini(File.string());
  ini.WriteInteger("a", "K", 5);
  ini.WriteInteger("A", "n", 6);
  ini.WriteInteger("Empty", "e", 7);
  ini.WriteInteger("B", "k", 222);  // longer than before: later sections move
  ini.WriteInteger("Empty", "f", 8);
  ini.WriteInteger("A", "k", 50);
  EXPECT_EQ(
      Slurp(File),
      "\xEF\xBB\xBF[A]\r\nk=50\r\nn=6\r\n[B]\r\nk=222\r\n[a]\r\nk=3\r\n[Empty]\r\ne=7\r\nf=8\r\n");
}

TEST_F(ProfileFileTest, AFileBrokenOffAfterItsCarriageReturnKeepsItsLastValue) {
  // The last line's CR LF lost its LF: a key or a section added after it must
  // finish that line end, not leave the CR in front of a new one.
  Spit(File, "[Environment]\r\nFirstRun=0\r");
  TProfileFile ini(File.string());
  ini.WriteInteger("Environment", "FireCount", 5);
  EXPECT_EQ(Slurp(File), "[Environment]\r\nFirstRun=0\r\nFireCount=5\r\n");

  Spit(File, "[A]\r\nk=1\r");
  TProfileFile other(File.string());
  other.WriteInteger("B", "n", 2);
  EXPECT_EQ(other.ReadInteger("A", "k", 9), 1);
  EXPECT_EQ(Slurp(File), "[A]\r\nk=1\r\n\r\n[B]\r\nn=2\r\n");
}

TEST_F(ProfileFileTest, NewFileAndDirectoryAreCreated) {
  const fs::path nested = Dir / "one" / "two" / "new.ini";
  TProfileFile ini(nested.string());
  ini.WriteInteger("S", "k", 1);
  ini.WriteInteger("T", "k", 2);
  EXPECT_EQ(Slurp(nested), "[S]\nk=1\n\n[T]\nk=2\n");
}

TEST_F(ProfileFileTest, ReplacingLeavesNoTemporaryFilesAndKeepsPermissions) {
  Spit(File, "[S]\nk=1\n");
  fs::permissions(File, fs::perms::owner_read | fs::perms::owner_write);
  TProfileFile ini(File.string());
  for (int i = 0; i < 5; ++i) ini.WriteInteger("S", "k", i);
  EXPECT_EQ(DirEntries(), std::vector<std::string>{"test.ini"});
  EXPECT_EQ(fs::status(File).permissions(), fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(Slurp(File), "[S]\nk=4\n");
}

TEST_F(ProfileFileTest, WritesThroughALink) {
  Spit(File, "[S]\nk=1\n");
  const fs::path link = Dir / "link.ini";
  fs::create_symlink(File, link);
  TProfileFile(link.string()).WriteInteger("S", "k", 2);
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(Slurp(File), "[S]\nk=2\n");
}

// A link whose file does not exist yet makes that file, wherever the link
// points and however many links lead there; the links stay links.
TEST_F(ProfileFileTest, WritesThroughADanglingLinkToTheFileItNames) {
#ifdef _WIN32
  GTEST_SKIP() << "the Windows build writes no symbolic links";
#endif
  fs::create_directories(Dir / "real");
  const fs::path absolute = Dir / "absolute.ini";
  fs::create_symlink(Dir / "real" / "a.ini", absolute);
  TProfileFile(absolute.string()).WriteInteger("S", "k", 1);
  EXPECT_TRUE(fs::is_symlink(absolute));
  EXPECT_EQ(Slurp(Dir / "real" / "a.ini"), "[S]\nk=1\n");

  // A relative link is relative to its own directory, not the working one.
  fs::create_directories(Dir / "links");
  const fs::path relative = Dir / "links" / "relative.ini";
  fs::create_symlink(fs::path("..") / "real" / "b.ini", relative);
  const fs::path chained = Dir / "chained.ini";
  fs::create_symlink(fs::path("links") / "relative.ini", chained);
  TProfileFile(chained.string()).WriteInteger("S", "k", 2);
  EXPECT_TRUE(fs::is_symlink(chained));
  EXPECT_TRUE(fs::is_symlink(relative));
  EXPECT_EQ(Slurp(Dir / "real" / "b.ini"), "[S]\nk=2\n");
  // The written file is read back through the links.
  EXPECT_EQ(TProfileFile(chained.string()).ReadInteger("S", "k", 0), 2);
}

TEST_F(ProfileFileTest, ALinkLoopIsRefusedAndLeftAlone) {
#ifdef _WIN32
  GTEST_SKIP() << "the Windows build writes no symbolic links";
#endif
  const fs::path a = Dir / "a.ini", b = Dir / "b.ini";
  fs::create_symlink(b, a);
  fs::create_symlink(a, b);
  EXPECT_THROW(TProfileFile(a.string()).WriteInteger("S", "k", 1), EIniFileError);
  EXPECT_EQ(fs::read_symlink(a), b);
  EXPECT_EQ(fs::read_symlink(b), a);
  EXPECT_EQ(DirEntries().size(), 2u);
}

TEST_F(ProfileFileTest, ReadOnlyFileIsRefusedAndLeftAlone) {
  const std::string before = "[S]\nk=1\n";
  Spit(File, before);
  fs::permissions(File, fs::perms::owner_read | fs::perms::group_read);
  TProfileFile ini(File.string());
  try {
    ini.WriteInteger("S", "k", 2);
    FAIL() << "write to a read-only file succeeded";
  } catch (const EIniFileError& e) {
    EXPECT_STREQ(e.what(), (File.string() + " に書き込めません").c_str());
  }
  EXPECT_EQ(Slurp(File), before);
  EXPECT_EQ(DirEntries(), std::vector<std::string>{"test.ini"});
  // The object still says what the file says.
  EXPECT_EQ(ini.ReadInteger("S", "k", 0), 1);
  EXPECT_EQ(ini.Text(), before);
}

TEST_F(ProfileFileTest, ReadOnlyDirectoryAndBlockedPathsAreRefused) {
  const fs::path roDir = Dir / "ro";
  fs::create_directories(roDir);
  Spit(roDir / "x.ini", "[S]\nk=1\n");
  fs::permissions(roDir, fs::perms::owner_read | fs::perms::owner_exec);
  EXPECT_THROW(TProfileFile((roDir / "x.ini").string()).WriteInteger("S", "k", 2), EIniFileError);
  EXPECT_THROW(TProfileFile((roDir / "new.ini").string()).WriteInteger("S", "k", 2), EIniFileError);
  EXPECT_EQ(Slurp(roDir / "x.ini"), "[S]\nk=1\n");
  EXPECT_FALSE(fs::exists(roDir / "new.ini"));

  // A directory where the file should be, and a file where a directory should be.
  fs::create_directories(Dir / "isdir.ini");
  TProfileFile onDir((Dir / "isdir.ini").string());
  EXPECT_TRUE(onDir.ReadFailed());
  EXPECT_THROW(onDir.WriteInteger("S", "k", 1), EIniFileError);
  Spit(Dir / "plain", "");
  EXPECT_THROW(TProfileFile((Dir / "plain" / "x.ini").string()).WriteInteger("S", "k", 1),
               EIniFileError);
}

// A store that fails when told to, counting stores from 1, as a disk that
// fills up or a file that another program locks would.
class TFailingProfileFile : public TProfileFile {
 public:
  TFailingProfileFile(std::string fileName, std::function<bool(int)> fails)
      : TProfileFile(std::move(fileName)), Fails(std::move(fails)) {}
  int Stores = 0;

 protected:
  void Store(const std::string& text) override {
    if (Fails(++Stores)) throw EIniFileError(FileName());
    TProfileFile::Store(text);
  }

 private:
  std::function<bool(int)> Fails;
};

TEST_F(ProfileFileTest, BatchedWritesStoreOnceOrFailWhereSingleWritesWould) {
  Spit(File, "[S]\na=0\n");
  {
    TFailingProfileFile ini(File.string(), [](int) { return false; });
    ini.BeginUpdate();
    ini.WriteInteger("S", "a", 1);
    ini.WriteInteger("S", "b", 2);
    ini.EndUpdate();
    EXPECT_EQ(ini.Stores, 1);
    EXPECT_EQ(Slurp(File), "[S]\na=1\nb=2\n");
  }
  {
    // The batch store (1) fails, then "a" (2) and "b" (3) are stored alone and "c" (4) fails.
    TFailingProfileFile ini(File.string(), [](int n) { return n == 1 || n >= 4; });
    ini.BeginUpdate();
    ini.WriteInteger("S", "a", 10);
    ini.WriteInteger("S", "b", 20);
    ini.WriteInteger("T", "c", 30);
    ini.WriteInteger("S", "d", 40);
    EXPECT_THROW(ini.EndUpdate(), EIniFileError);
    EXPECT_EQ(ini.Stores, 4);
    EXPECT_EQ(Slurp(File), "[S]\na=10\nb=20\n");
    EXPECT_EQ(ini.ReadInteger("T", "c", -1), -1);
    EXPECT_EQ(ini.ReadInteger("S", "d", -1), -1);
  }
  {
    // Refused from the start: nothing is stored.
    TFailingProfileFile ini(File.string(), [](int) { return true; });
    ini.BeginUpdate();
    ini.WriteInteger("S", "a", 99);
    EXPECT_THROW(ini.EndUpdate(), EIniFileError);
    EXPECT_EQ(Slurp(File), "[S]\na=10\nb=20\n");
  }
}

// --- Replacing the file ----------------------------------------------------------------------

// Real files through the portable services, with every call written down, a
// chosen step made to fail, and some temporary files taken as held by a
// live writer.
class TRecordingFiles final : public IFileServices {
 public:
  std::vector<std::string> Calls;
  std::string Fail;                      // the call that fails: "write", "flush" or "rename"
  std::vector<std::string> MayNotWrite;  // file names this user may not write
  std::vector<std::string> Held;         // temporary file names a live writer holds

  bool MayWrite(const fs::path& path) override {
    Calls.push_back("may-write " + path.filename().string());
    for (const std::string& n : MayNotWrite) {
      if (path.filename() == n) return false;
    }
    return true;
  }
  std::unique_ptr<ITempFile> CreateTemp(const fs::path& path,
                                        std::optional<fs::perms> perms) override {
    Calls.push_back("create");
    auto file = PortableFileServices().CreateTemp(path, perms);
    if (!file) return nullptr;
    return std::make_unique<TTemp>(*this, std::move(file), path);
  }
  void FlushDirectory(const fs::path&) override { Calls.push_back("flush-directory"); }
  bool RemoveIfUnused(const fs::path& path) override {
    const std::string name = path.filename().string();
    Calls.push_back("remove-if-unused " + name);
    for (const std::string& n : Held) {
      if (name == n) return false;
    }
    return fs::remove(path);
  }

 private:
  class TTemp final : public ITempFile {
   public:
    TTemp(TRecordingFiles& owner, std::unique_ptr<ITempFile> file, fs::path path)
        : FOwner(owner), FFile(std::move(file)), FPath(std::move(path)) {}
    ~TTemp() override {
      FFile.reset();
      if (!FRenamed) FOwner.Calls.push_back(fs::exists(FPath) ? "temp-kept" : "temp-removed");
    }
    bool Write(std::string_view bytes) override { return Step("write") && FFile->Write(bytes); }
    bool Flush() override { return Step("flush") && FFile->Flush(); }
    bool RenameTo(const fs::path& target) override {
      FRenamed = Step("rename") && FFile->RenameTo(target);
      return FRenamed;
    }

   private:
    bool Step(const std::string& call) {
      FOwner.Calls.push_back(call);
      return FOwner.Fail != call;
    }
    TRecordingFiles& FOwner;
    std::unique_ptr<ITempFile> FFile;
    fs::path FPath;
    bool FRenamed = false;
  };
};

TEST_F(ProfileFileTest, AReplaceWritesFlushesRenamesThenFlushesTheDirectory) {
  Spit(File, "[S]\nk=1\n");
  TRecordingFiles files;
  TProfileFile ini(File.string(), files);
  ini.WriteInteger("S", "k", 2);
  const std::string dirName = Dir.filename().string();
  EXPECT_EQ(files.Calls,
            (std::vector<std::string>{"may-write " + dirName, "may-write test.ini", "create",
                                      "write", "flush", "rename", "flush-directory"}));
  EXPECT_EQ(Slurp(File), "[S]\nk=2\n");
  EXPECT_EQ(DirEntries(), std::vector<std::string>{"test.ini"});
}

TEST_F(ProfileFileTest, AFailedStepLeavesTheFileAndNoTemporaryFile) {
  const std::string before = "[S]\nk=1\n";
  for (const char* step : {"write", "flush", "rename"}) {
    SCOPED_TRACE(step);
    Spit(File, before);
    TRecordingFiles files;
    files.Fail = step;
    TProfileFile ini(File.string(), files);
    EXPECT_THROW(ini.WriteInteger("S", "k", 2), EIniFileError);
    EXPECT_EQ(files.Calls.back(), "temp-removed");
    EXPECT_EQ(std::count(files.Calls.begin(), files.Calls.end(), "flush-directory"), 0);
    EXPECT_EQ(Slurp(File), before);
    EXPECT_EQ(ini.Text(), before);
    EXPECT_EQ(DirEntries(), std::vector<std::string>{"test.ini"});
  }
}

TEST_F(ProfileFileTest, WhatThisUserMayNotWriteIsRefusedBeforeAnythingIsMade) {
  Spit(File, "[S]\nk=1\n");
  for (const std::string& refused : {std::string("test.ini"), Dir.filename().string()}) {
    SCOPED_TRACE(refused);
    TRecordingFiles files;
    files.MayNotWrite = {refused};
    EXPECT_THROW(TProfileFile(File.string(), files).WriteInteger("S", "k", 2), EIniFileError);
    EXPECT_EQ(std::count(files.Calls.begin(), files.Calls.end(), "create"), 0);
    EXPECT_EQ(Slurp(File), "[S]\nk=1\n");
  }
}

TEST_F(ProfileFileTest, ASuccessfulWriteRemovesOnlyOurOwnUnheldLeftovers) {
  Spit(File, "[S]\nk=1\n");
  const std::vector<std::string> ours = {".test.ini.0123456789abcdef.tmp",
                                         ".test.ini.fedcba9876543210.tmp"};
  const std::vector<std::string> others = {".test.ini.0123456789ABCDEF.tmp",  // not a name we make
                                           ".test.ini.0123456789abcde.tmp",
                                           ".test.ini.0123456789abcdef.bak",
                                           "test.ini.0123456789abcdef.tmp",
                                           ".other.ini.0123456789abcdef.tmp",
                                           ".test.ini.tmp"};
  for (const auto& n : ours) Spit(Dir / n, "left by a killed writer");
  for (const auto& n : others) Spit(Dir / n, "someone else's");
  TRecordingFiles files;
  files.Held = {ours[0]};  // a live writer is still at it

  TProfileFile ini(File.string(), files);
  ini.WriteInteger("S", "k", 2);
  std::vector<std::string> asked;
  for (const std::string& c : files.Calls) {
    if (c.starts_with("remove-if-unused ")) asked.push_back(c.substr(17));
  }
  std::sort(asked.begin(), asked.end());
  EXPECT_EQ(asked, ours);
  EXPECT_TRUE(fs::exists(Dir / ours[0]));
  EXPECT_FALSE(fs::exists(Dir / ours[1]));
  for (const auto& n : others) EXPECT_TRUE(fs::exists(Dir / n)) << n;
  EXPECT_EQ(Slurp(File), "[S]\nk=2\n");

  // A refused write removes nothing.
  Spit(Dir / ours[1], "left again");
  files.Calls.clear();
  files.Fail = "rename";
  EXPECT_THROW(ini.WriteInteger("S", "k", 3), EIniFileError);
  EXPECT_TRUE(fs::exists(Dir / ours[1]));
}

TEST_F(ProfileFileTest, AFileThatCannotBeReadIsNeverWritten) {
  Spit(File, "[Environment]\nFireCount=7\n");
  fs::permissions(File, fs::perms::owner_write);
  TProfileFile ini(File.string());
  if (!ini.ReadFailed()) {
    GTEST_SKIP() << "this user reads files without read permission (an administrator)";
  }
  EXPECT_EQ(ini.ReadInteger("Environment", "FireCount", 5), 5);
  EXPECT_THROW(ini.WriteInteger("Environment", "FireCount", 5), EIniFileError);
  fs::permissions(File, fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(Slurp(File), "[Environment]\nFireCount=7\n");
}

}  // namespace
}  // namespace moonglow
