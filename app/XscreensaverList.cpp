#include "app/XscreensaverList.h"

#include <fstream>
#include <ostream>
#include <sstream>

#include "settings/Parse.h"
#include "settings/TextEncoding.h"

namespace moonglow {

namespace {

namespace fs = std::filesystem;

// Blanks within a line of the file; a CR LF file's lines keep their CR here.
constexpr std::string_view LineBlanks = " \t\r";

// One physical line: its text without the line end, and the line end itself
// ("\n", "\r\n", or nothing on a last line without one).
struct TLine {
  std::string Body;
  std::string End;
};

std::vector<TLine> SplitLines(std::string_view text) {
  std::vector<TLine> lines;
  while (!text.empty()) {
    const std::size_t nl = text.find('\n');
    TLine line;
    if (nl == std::string_view::npos) {
      line.Body = std::string(text);
      text = {};
    } else {
      std::size_t bodyEnd = nl;
      if (bodyEnd > 0 && text[bodyEnd - 1] == '\r') --bodyEnd;
      line.Body = std::string(text.substr(0, bodyEnd));
      line.End = std::string(text.substr(bodyEnd, nl + 1 - bodyEnd));
      text.remove_prefix(nl + 1);
    }
    lines.push_back(std::move(line));
  }
  return lines;
}

std::string JoinLines(const std::vector<TLine>& lines) {
  std::string text;
  for (const TLine& line : lines) text += line.Body + line.End;
  return text;
}

// A resource value goes on to the next line when its line ends with "\".
bool Continues(const TLine& line) { return !line.Body.empty() && line.Body.back() == '\\'; }

// Where the "programs" resource sits: its first and last physical line, and
// where its value starts on the first. xscreensaver's own file writes the name
// bare, its app-defaults file as "*programs".
struct TResource {
  std::size_t First = 0;
  std::size_t Last = 0;
  std::size_t ValueStart = 0;
};

std::optional<TResource> FindPrograms(const std::vector<TLine>& lines) {
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string_view body = lines[i].Body;
    const std::string_view text = TrimLeft(body, LineBlanks);
    const bool comment = text.starts_with('!') || text.starts_with('#');
    const std::size_t colon = text.find(':');
    std::string_view name = colon == std::string_view::npos ? text : text.substr(0, colon);
    if (name.starts_with('*')) name.remove_prefix(1);
    std::size_t last = i;
    if (!comment) {
      while (last + 1 < lines.size() && Continues(lines[last])) ++last;
    }
    if (!comment && colon != std::string_view::npos && TrimRight(name, LineBlanks) == "programs") {
      return TResource{i, last, body.size() - text.size() + colon + 1};
    }
    i = last;
  }
  return std::nullopt;
}

// The resource's value with the line continuations taken out.
std::string ValueOf(const std::vector<TLine>& lines, const TResource& r) {
  std::string value;
  for (std::size_t i = r.First; i <= r.Last; ++i) {
    std::string_view body = lines[i].Body;
    if (i == r.First) body.remove_prefix(r.ValueStart);
    if (Continues(lines[i])) body.remove_suffix(1);
    value += body;
  }
  return value;
}

// Whether one entry of the list runs moonglow. An entry is
// [-] ["Name"] [visual:] command [options]; "-" marks one the user switched
// off, which still counts: that was their choice.
bool RunsMoonglow(std::string_view entry) {
  entry = TrimLeft(entry, LineBlanks);
  if (entry.starts_with('-')) entry = TrimLeft(entry.substr(1), LineBlanks);
  if (entry.starts_with('"')) {
    const std::size_t close = entry.find('"', 1);
    if (close == std::string_view::npos) return false;
    entry = TrimLeft(entry.substr(close + 1), LineBlanks);
  }
  const auto firstWord = [](std::string_view s) {
    std::size_t end = 0;
    while (end < s.size() && !IsBlank(s[end], LineBlanks) && s[end] != '\n') ++end;
    return s.substr(0, end);
  };
  std::string_view word = firstWord(entry);
  if (word.ends_with(':')) {
    entry = TrimLeft(entry.substr(word.size()), LineBlanks);
    word = firstWord(entry);
  }
  const std::size_t slash = word.rfind('/');
  if (slash != std::string_view::npos) word.remove_prefix(slash + 1);
  return word == "moonglow";
}

// Entries are separated by the two characters "\n" in the value.
bool ListRunsMoonglow(std::string_view value) {
  while (true) {
    const std::size_t sep = value.find("\\n");
    if (RunsMoonglow(value.substr(0, sep))) return true;
    if (sep == std::string_view::npos) return false;
    value.remove_prefix(sep + 2);
  }
}

// The line of the entry, laid out as xscreensaver lays out its own.
std::string EntryLine() { return "\t\t\t\t" + std::string(XscreensaverCommand) + "\t\t\t    \\n"; }

// Adds the entry after the resource's last one, in place.
void AppendEntry(std::vector<TLine>& lines, const TResource& r) {
  const std::string value = ValueOf(lines, r);
  const std::string eol = lines[r.First].End.empty() ? "\n" : lines[r.First].End;
  TLine entry{EntryLine(), eol};
  if (Trim(value, LineBlanks).empty()) {
    // An empty list: the entry becomes its only line.
    TLine head{lines[r.First].Body.substr(0, r.ValueStart) + "\t\t\\", eol};
    lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(r.First),
                lines.begin() + static_cast<std::ptrdiff_t>(r.Last) + 1);
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(r.First), {head, entry});
    return;
  }
  // xscreensaver ends its list with a continuation into a blank line: the
  // entry goes after the last line that holds something, and carries that
  // continuation on.
  std::size_t k = r.Last;
  const auto content = [&](std::size_t i) {
    std::string_view body = lines[i].Body;
    if (i == r.First) body.remove_prefix(r.ValueStart);
    if (Continues(lines[i])) body.remove_suffix(1);
    return TrimRight(body, LineBlanks);
  };
  while (k > r.First && Trim(content(k), LineBlanks).empty()) --k;
  const std::string_view kept = content(k);
  const std::size_t keep = kept.data() - lines[k].Body.data() + kept.size();
  lines[k].Body = lines[k].Body.substr(0, keep) + (kept.ends_with("\\n") ? "\\" : " \\n\\");
  if (lines[k].End.empty()) lines[k].End = eol;
  if (k < r.Last) entry.Body += '\\';
  lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(k) + 1, entry);
}

}  // namespace

TXscreensaverEdit AddToXscreensaverText(std::optional<std::string_view> userFile,
                                        std::string_view appDefaults) {
  TXscreensaverEdit edit;
  std::vector<TLine> lines = SplitLines(userFile.value_or(""));
  if (const std::optional<TResource> own = FindPrograms(lines)) {
    if (ListRunsMoonglow(ValueOf(lines, *own))) {
      edit.Outcome = TXscreensaverEdit::AlreadyPresent;
      return edit;
    }
    AppendEntry(lines, *own);
    edit.Outcome = TXscreensaverEdit::Added;
    edit.Text = JoinLines(lines);
    return edit;
  }

  // No list of the user's own: xscreensaver runs the standard one.
  std::vector<TLine> standard = SplitLines(appDefaults);
  const std::optional<TResource> found = FindPrograms(standard);
  if (!found) return edit;
  std::vector<TLine> list(standard.begin() + static_cast<std::ptrdiff_t>(found->First),
                          standard.begin() + static_cast<std::ptrdiff_t>(found->Last) + 1);
  TResource r{0, list.size() - 1, found->ValueStart};
  if (ListRunsMoonglow(ValueOf(list, r))) {
    edit.Outcome = TXscreensaverEdit::AlreadyPresent;
    return edit;
  }
  // The user's file names the resource without the app-defaults' "*".
  const std::size_t star = list[0].Body.find('*');
  if (star != std::string::npos && star < r.ValueStart) {
    list[0].Body.erase(star, 1);
    --r.ValueStart;
  }
  AppendEntry(list, r);

  std::string text;
  if (!userFile) {
    text =
        "# xscreensaver's standard list of savers with moonglow added, by\n"
        "# moonglow --add-to-xscreensaver. Every other setting keeps its default;\n"
        "# xscreensaver-settings writes them all here when one is changed.\n";
  } else {
    text = std::string(*userFile);
    if (!text.empty() && text.back() != '\n') text += '\n';
  }
  if (!text.empty()) text += '\n';
  text += JoinLines(list);
  edit.Outcome = TXscreensaverEdit::Added;
  edit.Text = std::move(text);
  return edit;
}

int AddToXscreensaver(const TEnvironment& env, IFileServices& files, std::ostream& out,
                      std::ostream& err, const std::vector<fs::path>& appDefaults) {
  const auto fail = [&err](const std::string& why) {
    err << "moonglow: " << why << '\n';
    return 1;
  };
  const std::optional<std::string> home = env ? env("HOME") : std::nullopt;
  if (!home || home->empty()) return fail("HOME is not set, so there is no ~/.xscreensaver");

  std::error_code ec;
  const fs::path link = fs::path(*home) / ".xscreensaver";
  // A file kept elsewhere and linked here is edited where it lives.
  const std::optional<fs::path> linked = LinkTarget(link);
  if (!linked)
    return fail("cannot follow the link " + MessageText(link.string(), MessagePathLimit));
  const fs::path path = *linked;
  const std::string named = MessageText(path.string(), MessagePathLimit);

  const auto readAll = [](const fs::path& p) -> std::optional<std::string> {
    std::ifstream in(p, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) return std::nullopt;
    return text.str();
  };

  std::optional<std::string> user;
  const fs::file_status status = fs::status(path, ec);
  if (fs::exists(status)) {
    // A file that cannot be read is left exactly as it is.
    if (!fs::is_regular_file(status)) return fail(named + " is not a file");
    user = readAll(path);
    if (!user) return fail("cannot read " + named);
  }

  std::string standard;
  for (const fs::path& p : appDefaults) {
    if (std::optional<std::string> text = readAll(p)) {
      standard = std::move(*text);
      break;
    }
  }

  const TXscreensaverEdit edit = AddToXscreensaverText(user, standard);
  switch (edit.Outcome) {
    case TXscreensaverEdit::AlreadyPresent:
      out << "moonglow is already in xscreensaver's list (" << named << ")\n";
      return 0;
    case TXscreensaverEdit::NoStandardList:
      return fail(named +
                  " has no list of savers and xscreensaver's standard list was not found;"
                  " run xscreensaver-settings, change any setting, and try again");
    case TXscreensaverEdit::Added:
      break;
  }
  // Written as the settings file is: never half a file, and flushed before it
  // counts as done; an existing file keeps its permissions.
  const std::optional<fs::perms> perms =
      user ? std::optional<fs::perms>(status.permissions()) : std::nullopt;
  if (!ReplaceFileContents(files, path, edit.Text, perms)) return fail("cannot write " + named);
  out << "moonglow added to " << (user ? "" : "a new ") << named
      << "; pick it in xscreensaver-settings\n";
  return 0;
}

}  // namespace moonglow
