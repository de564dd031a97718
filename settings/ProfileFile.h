#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/FileServices.h"
#include "settings/TextEncoding.h"

namespace moonglow {

// An INI file read and written with the habits of the Windows private-profile
// functions, so that a settings file moves between the platforms unchanged.
//
// Reading: "[Section]" lines open sections; "key=value" lines hold values;
// lines starting with ';' or '#', and lines without '=', are ignored. Section
// and key names match without regard to ASCII case; blanks (spaces and tabs)
// around names and values are dropped, and so is one pair of matching quotes
// around a value. A duplicated section or key counts only where it first
// appears. CRLF and LF line ends both read, and a UTF-8 byte-order mark at the
// start is skipped. A file that starts with a UTF-16 byte-order mark is read
// as UTF-16 of that byte order and written back in it. Nothing in the file's
// contents makes a read fail.
//
// Writing: an existing key keeps its line, with the new value; a missing key
// goes straight after the last key line of its section, so blank lines and
// comments that close the section stay below it; a missing section goes at the
// end of the file, after one blank line. Every other byte of the file is kept
// as it was. Each write replaces the whole file through a temporary file
// beside it, so the file is always either the old one or the new one, and
// throws EIniFileError when it cannot be stored; the object then still holds
// what the file holds. A file that is there but cannot be read is never
// written: its contents were never seen, so nothing could keep them.
//
// File names are UTF-8. The whole file is held in memory; lookups scan it line
// by line, remembering where the sections asked for were found.
class TProfileFile {
 public:
  // Reads the file. A missing or unreadable file reads as an empty one.
  // `files` does the writing; it must outlive the object.
  explicit TProfileFile(std::string fileName, IFileServices& files = PortableFileServices());
  virtual ~TProfileFile() = default;
  TProfileFile(const TProfileFile&) = delete;
  TProfileFile& operator=(const TProfileFile&) = delete;

  const std::string& FileName() const { return FFileName; }
  // The absolute file name, as the refusal message gives it.
  std::string FullName() const;
  // True when the file exists but could not be read (no permission, an I/O
  // error, a directory in its place): every write is then refused.
  bool ReadFailed() const { return FReadFailed; }
  // The text as it stands in memory, in UTF-8 (what the file holds after a
  // write, in the file's own encoding).
  const std::string& Text() const { return FText; }

  // The value of a key, empty when the key or its section is absent.
  std::string ReadString(std::string_view section, std::string_view key) const;
  // The value parsed by ParseInteger; `def` when absent or not an integer.
  std::int32_t ReadInteger(std::string_view section, std::string_view key, std::int32_t def) const;
  // ReadInteger with the default 0 or 1, true when the result is not 0.
  bool ReadBool(std::string_view section, std::string_view key, bool def) const;

  // Store the decimal text of `value` ("1" or "0" for a boolean).
  void WriteInteger(std::string_view section, std::string_view key, std::int32_t value);
  void WriteBool(std::string_view section, std::string_view key, bool value);

  // Writes between BeginUpdate and EndUpdate change the file only at
  // EndUpdate, in one rewrite: a large file is then copied once instead of
  // once per key. Should that rewrite fail, EndUpdate falls back to storing
  // the writes one at a time from the file as it was, so that it fails
  // exactly where single writes would: the writes before the refused one are
  // stored, the rest are not. Calls may nest; the outermost EndUpdate stores.
  void BeginUpdate();
  void EndUpdate();

  // The integer rule of the settings file: the whole text, after leading
  // blanks, is an optional sign and decimal digits, or "$", "0x" or "0X" and
  // hexadecimal digits, with a value in the signed 32-bit range.
  static std::optional<std::int32_t> ParseInteger(std::string_view text);

 protected:
  // Replaces the file by `text`; throws EIniFileError when refused. Refused
  // are a file that could not be read, a file or directory that this user
  // may not write, and a read-only file or directory (one without any write
  // permission bit) even where the process could write it anyway, as Windows
  // refuses a file with its read-only attribute.
  virtual void Store(const std::string& text);

 private:
  // Where the first occurrence of a section lies in FText. Offsets are line
  // starts, or the end of the text.
  struct TSectionPos {
    bool Found = false;
    std::size_t HeaderStart = 0;  // the "[Section]" line
    std::size_t BodyStart = 0;    // the line after it
    std::size_t BodyEnd = 0;      // the next section's header, or the end
    std::size_t LastKeyEnd = 0;   // just after the last key line, or BodyStart
  };
  struct TCachedSection {
    std::string Name;  // lower case
    TSectionPos Pos;
  };
  struct TKeyLine {
    std::size_t LineStart = 0;
    std::size_t LineEnd = 0;  // before the line end
    std::string_view Name;
    std::string_view Value;
  };
  struct TPendingWrite {
    std::string Section, Key, Value;
  };

  const TSectionPos& FindSection(std::string_view section) const;
  std::optional<TKeyLine> FindKey(const TSectionPos& pos, std::string_view key) const;
  TCachedSection& CacheEntry(std::string_view section) const;
  void WriteString(std::string_view section, std::string_view key, std::string_view value);
  void Apply(std::string_view section, std::string_view key, std::string_view value);
  void ShiftSectionsAfter(std::size_t from, std::size_t removed, std::size_t added,
                          const TCachedSection& except);
  std::size_t ContentStart() const;
  void StoreText();  // Store of FText in the file's encoding

  std::string FFileName;
  IFileServices& FFiles;
  bool FReadFailed = false;
  std::string FText;
  std::string FEol;  // the line end this file uses
  TFileEncoding FEncoding;
  mutable std::vector<TCachedSection> FSections;

  int FUpdateDepth = 0;
  std::string FTextBeforeUpdate;
  std::vector<TCachedSection> FSectionsBeforeUpdate;
  std::vector<TPendingWrite> FPending;
};

}  // namespace moonglow
