#include "settings/ProfileFile.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>

#include "settings/IniFile.h"
#include "settings/Parse.h"
#include "settings/TextEncoding.h"

namespace moonglow {

namespace fs = std::filesystem;

namespace {

// Line ends written into a file that has none of its own yet.
#ifdef _WIN32
constexpr std::string_view NativeEol = "\r\n";
#else
constexpr std::string_view NativeEol = "\n";
#endif

constexpr std::string_view Bom = "\xEF\xBB\xBF";

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

std::string LowerName(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = LowerAscii(c);
  return r;
}

struct TLine {
  std::size_t Start;  // first byte of the line
  std::size_t End;    // just before its "\n" or "\r\n"
  std::size_t Next;   // the next line's start, or the end of the text
};

TLine LineAt(const std::string& text, std::size_t start) {
  const char* base = text.data();
  const void* nl = std::memchr(base + start, '\n', text.size() - start);
  std::size_t end =
      nl ? static_cast<std::size_t>(static_cast<const char*>(nl) - base) : text.size();
  const std::size_t next = nl ? end + 1 : end;
  if (end > start && base[end - 1] == '\r') --end;
  return {start, end, next};
}

// The name of a "[Section]" line; a missing ']' closes the name at the line's
// end. Empty when the line is not a section header.
std::optional<std::string_view> SectionName(std::string_view line) {
  std::size_t i = 0;
  while (i < line.size() && IsBlank(line[i])) ++i;
  if (i == line.size() || line[i] != '[') return std::nullopt;
  const std::string_view rest = line.substr(i + 1);
  return Trim(rest.substr(0, rest.find(']')));
}

// A key line is any line with '=' that is neither a comment nor a section
// header; returns the position of its '='.
std::optional<std::size_t> KeyLineEquals(std::string_view line) {
  std::size_t i = 0;
  while (i < line.size() && IsBlank(line[i])) ++i;
  if (i == line.size() || line[i] == '[' || line[i] == ';' || line[i] == '#') return std::nullopt;
  const std::size_t eq = line.find('=', i);
  if (eq == std::string_view::npos) return std::nullopt;
  return eq;
}

std::string_view ValueText(std::string_view afterEquals) {
  std::string_view v = Trim(afterEquals);
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
    v = v.substr(1, v.size() - 2);
  }
  return v;
}

// What ends the line that stops at `at` before something is put after it:
// nothing when it is already ended, the rest of a CR LF when the text breaks
// off after its CR (a lone CR left in place would become part of the value),
// else a whole line end.
std::string LineClose(const std::string& text, std::size_t at, std::string_view eol) {
  if (at == 0 || text[at - 1] == '\n') return {};
  if (text[at - 1] == '\r') return "\n";
  return std::string(eol);
}

bool EndsWithBlankLine(const std::string& text, std::size_t contentStart) {
  std::size_t end = text.size();
  if (end > contentStart && text[end - 1] == '\n') --end;
  std::size_t start = end;
  while (start > contentStart && text[start - 1] != '\n') --start;
  for (std::size_t i = start; i < end; ++i) {
    if (!IsBlank(text[i]) && text[i] != '\r') return false;
  }
  return true;
}

fs::path ToPath(const std::string& utf8) {
  return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string FromPath(const fs::path& path) {
  const std::u8string s = path.u8string();
  return std::string(s.begin(), s.end());
}

bool AnyWriteBit(fs::perms p) {
  return (p & (fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write)) !=
         fs::perms::none;
}

}  // namespace

TProfileFile::TProfileFile(std::string fileName, IFileServices& files)
    : FFileName(std::move(fileName)), FFiles(files) {
  // Reading never fails: whatever cannot be read reads as an empty file. Only
  // a file that is not there at all is truly empty; any other failure is
  // remembered, so that no write replaces contents never seen.
  try {
    const fs::path path = ToPath(FFileName);
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (fs::is_regular_file(status)) {
      const std::uintmax_t size = fs::file_size(path, ec);
      std::ifstream in(path, std::ios::binary);
      if (!ec && in) {
        FText.resize(static_cast<std::size_t>(size));
        in.read(FText.data(), static_cast<std::streamsize>(FText.size()));
        FText.resize(static_cast<std::size_t>(in.gcount()));
      }
      FReadFailed = ec || !in.is_open() || in.bad();
    } else {
      FReadFailed = status.type() != fs::file_type::not_found;
    }
  } catch (const std::exception&) {
    FReadFailed = true;
  }
  if (FReadFailed) FText.clear();
  FEncoding = DecodeFileText(FText);
  const std::size_t nl = FText.find('\n');
  if (nl == std::string::npos) {
    FEol = NativeEol;
  } else {
    FEol = nl > 0 && FText[nl - 1] == '\r' ? "\r\n" : "\n";
  }
}

std::size_t TProfileFile::ContentStart() const { return FText.starts_with(Bom) ? Bom.size() : 0; }

TProfileFile::TCachedSection& TProfileFile::CacheEntry(std::string_view section) const {
  for (TCachedSection& s : FSections) {
    if (SameName(s.Name, section)) return s;
  }
  TSectionPos pos;
  pos.BodyEnd = FText.size();
  for (std::size_t i = ContentStart(); i < FText.size();) {
    const TLine l = LineAt(FText, i);
    const std::string_view line(FText.data() + l.Start, l.End - l.Start);
    if (const auto name = SectionName(line)) {
      if (pos.Found) {
        pos.BodyEnd = l.Start;
        break;
      }
      if (SameName(*name, section)) {
        pos.Found = true;
        pos.HeaderStart = l.Start;
        pos.BodyStart = pos.LastKeyEnd = l.Next;
      }
    } else if (pos.Found && KeyLineEquals(line)) {
      pos.LastKeyEnd = l.Next;
    }
    i = l.Next;
  }
  FSections.push_back({LowerName(section), pos});
  return FSections.back();
}

const TProfileFile::TSectionPos& TProfileFile::FindSection(std::string_view section) const {
  return CacheEntry(section).Pos;
}

std::optional<TProfileFile::TKeyLine> TProfileFile::FindKey(const TSectionPos& pos,
                                                            std::string_view key) const {
  if (!pos.Found) return std::nullopt;
  const char* text = FText.data();
  for (std::size_t i = pos.BodyStart; i < pos.BodyEnd;) {
    // Most lines differ from the key in their first letter: skip those
    // without taking them apart, which keeps a huge section quick to search.
    std::size_t first = i;
    while (first < pos.BodyEnd && IsBlank(text[first])) ++first;
    if (!key.empty() && first < pos.BodyEnd && LowerAscii(text[first]) != LowerAscii(key[0])) {
      const void* nl = std::memchr(text + first, '\n', pos.BodyEnd - first);
      i = nl ? static_cast<std::size_t>(static_cast<const char*>(nl) - text) + 1 : pos.BodyEnd;
      continue;
    }
    const TLine l = LineAt(FText, i);
    const std::string_view line(FText.data() + l.Start, l.End - l.Start);
    if (const auto eq = KeyLineEquals(line)) {
      const std::string_view name = Trim(line.substr(0, *eq));
      if (SameName(name, key))
        return TKeyLine{l.Start, l.End, name, ValueText(line.substr(*eq + 1))};
    }
    i = l.Next;
  }
  return std::nullopt;
}

std::string TProfileFile::ReadString(std::string_view section, std::string_view key) const {
  const auto k = FindKey(FindSection(section), key);
  return k ? std::string(k->Value) : std::string();
}

std::int32_t TProfileFile::ReadInteger(std::string_view section, std::string_view key,
                                       std::int32_t def) const {
  const auto k = FindKey(FindSection(section), key);
  if (!k) return def;
  return ParseInteger(k->Value).value_or(def);
}

bool TProfileFile::ReadBool(std::string_view section, std::string_view key, bool def) const {
  return ReadInteger(section, key, def ? 1 : 0) != 0;
}

void TProfileFile::WriteInteger(std::string_view section, std::string_view key,
                                std::int32_t value) {
  WriteString(section, key, std::to_string(value));
}

void TProfileFile::WriteBool(std::string_view section, std::string_view key, bool value) {
  WriteString(section, key, value ? "1" : "0");
}

void TProfileFile::WriteString(std::string_view section, std::string_view key,
                               std::string_view value) {
  if (FUpdateDepth > 0) {
    FPending.push_back({std::string(section), std::string(key), std::string(value)});
    Apply(section, key, value);
    return;
  }
  std::string textBefore = FText;
  std::vector<TCachedSection> sectionsBefore = FSections;
  Apply(section, key, value);
  try {
    StoreText();
  } catch (...) {
    FText = std::move(textBefore);
    FSections = std::move(sectionsBefore);
    throw;
  }
}

void TProfileFile::ShiftSectionsAfter(std::size_t from, std::size_t removed, std::size_t added,
                                      const TCachedSection& except) {
  // Sections are remembered by offset; those below an edit move with it.
  // Unsigned wrap-around makes "- removed + added" exact for either sign.
  for (TCachedSection& s : FSections) {
    if (&s == &except || !s.Pos.Found || s.Pos.HeaderStart < from) continue;
    for (std::size_t* p :
         {&s.Pos.HeaderStart, &s.Pos.BodyStart, &s.Pos.BodyEnd, &s.Pos.LastKeyEnd}) {
      *p = *p - removed + added;
    }
  }
}

void TProfileFile::Apply(std::string_view section, std::string_view key, std::string_view value) {
  TCachedSection& s = CacheEntry(section);
  TSectionPos& pos = s.Pos;
  if (pos.Found) {
    if (const auto k = FindKey(pos, key)) {
      // The key keeps its place and its spelling; only the value changes.
      std::string line(k->Name);
      line += '=';
      line += value;
      const std::size_t removed = k->LineEnd - k->LineStart;
      FText.replace(k->LineStart, removed, line);
      ShiftSectionsAfter(k->LineEnd, removed, line.size(), s);
      pos.BodyEnd = pos.BodyEnd - removed + line.size();
      pos.LastKeyEnd = pos.LastKeyEnd - removed + line.size();
      return;
    }
    // After the section's last key, so that the blank line or comment that
    // closes the section stays where it was.
    const std::size_t at = pos.LastKeyEnd;
    const std::string close = LineClose(FText, at, FEol);  // the file may end unended
    std::string ins = close;
    ins += key;
    ins += '=';
    ins += value;
    ins += FEol;
    FText.insert(at, ins);
    ShiftSectionsAfter(at, 0, ins.size(), s);
    if (pos.BodyStart == at) pos.BodyStart += close.size();
    pos.LastKeyEnd = at + ins.size();
    pos.BodyEnd += ins.size();
    return;
  }
  std::string ins;
  if (FText.size() > ContentStart()) {
    const bool blankEnd = EndsWithBlankLine(FText, ContentStart());
    ins += LineClose(FText, FText.size(), FEol);
    if (!blankEnd) ins += FEol;
  }
  const std::size_t headerStart = FText.size() + ins.size();
  ins += '[';
  ins += section;
  ins += ']';
  ins += FEol;
  const std::size_t bodyStart = FText.size() + ins.size();
  ins += key;
  ins += '=';
  ins += value;
  ins += FEol;
  FText += ins;
  pos = {true, headerStart, bodyStart, FText.size(), FText.size()};
}

void TProfileFile::BeginUpdate() {
  if (FUpdateDepth++ > 0) return;
  FTextBeforeUpdate = FText;
  FSectionsBeforeUpdate = FSections;
  FPending.clear();
}

void TProfileFile::EndUpdate() {
  if (FUpdateDepth == 0 || --FUpdateDepth > 0) return;
  std::vector<TPendingWrite> pending = std::move(FPending);
  std::string textBefore = std::move(FTextBeforeUpdate);
  std::vector<TCachedSection> sectionsBefore = std::move(FSectionsBeforeUpdate);
  FPending.clear();
  FTextBeforeUpdate.clear();
  FSectionsBeforeUpdate.clear();
  if (pending.empty()) return;
  try {
    StoreText();
  } catch (const EIniFileError&) {
    FText = std::move(textBefore);
    FSections = std::move(sectionsBefore);
    for (const TPendingWrite& w : pending) WriteString(w.Section, w.Key, w.Value);
  }
}

void TProfileFile::StoreText() {
  if (FEncoding.Encoding == TTextEncoding::Bytes) {
    Store(FText);  // no copy of a text that is already the file's bytes
  } else {
    Store(EncodeFileText(FText, FEncoding));
  }
}

std::string TProfileFile::FullName() const {
  std::error_code ec;
  const fs::path full = fs::absolute(ToPath(FFileName), ec);
  return ec ? FFileName : FromPath(full);
}

void TProfileFile::Store(const std::string& text) {
  const auto refuse = [this] { throw EIniFileError(FullName()); };
  if (FReadFailed) refuse();
  std::error_code ec;
  // Write through a link to the file it names rather than replacing the link.
  const std::optional<fs::path> linked = LinkTarget(ToPath(FFileName));
  if (!linked) refuse();
  const fs::path target = *linked;
  if (target.filename().empty()) refuse();
  fs::path dir = target.parent_path();
  if (dir.empty()) dir = ".";
  if (!fs::exists(dir, ec)) {
    fs::create_directories(dir, ec);
    if (ec) refuse();
  }
  const fs::file_status dirStatus = fs::status(dir, ec);
  if (ec || !fs::is_directory(dirStatus) || !AnyWriteBit(dirStatus.permissions()) ||
      !FFiles.MayWrite(dir)) {
    refuse();
  }
  const fs::file_status fileStatus = fs::status(target, ec);
  const bool exists = fileStatus.type() != fs::file_type::not_found;
  if (exists && (ec || !fs::is_regular_file(fileStatus) || !AnyWriteBit(fileStatus.permissions()) ||
                 !FFiles.MayWrite(target))) {
    refuse();
  }
  std::optional<fs::perms> perms;
  if (exists) perms = fileStatus.permissions();
  if (!ReplaceFileContents(FFiles, target, text, perms)) refuse();
}

std::optional<std::int32_t> TProfileFile::ParseInteger(std::string_view text) {
  constexpr TIntegerForm Form{.Skip = Blanks, .Sign = true, .DollarHex = true, .ZeroXHex = true};
  const std::optional<std::int64_t> value =
      WholeInteger(text, Form, std::numeric_limits<std::int32_t>::min(),
                   std::numeric_limits<std::int32_t>::max());
  if (!value) return std::nullopt;
  return static_cast<std::int32_t>(*value);
}

}  // namespace moonglow
