#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace moonglow {

// The encodings a settings file is read in, told apart as Windows' profile
// functions tell them: a UTF-16 byte-order mark at the start makes the file
// UTF-16 of that byte order; anything else is taken byte for byte (UTF-8, with
// or without its own mark, or whatever else the bytes are).
enum class TTextEncoding { Bytes, Utf16Le, Utf16Be };

// What it takes to turn a file's text back into exactly the bytes it was read
// from.
struct TFileEncoding {
  TTextEncoding Encoding = TTextEncoding::Bytes;
  // The last byte of a UTF-16 file of odd length, which is no whole code unit;
  // it goes back at the end of the file.
  std::string OddByte;
};

// Turns the bytes of a file into the UTF-8 text the reader works on, in place.
// A UTF-16 file's mark becomes the UTF-8 mark (U+FEFF). Nothing is lost: a lone
// surrogate becomes the three bytes UTF-8 would give its code point, so that
// EncodeFileText(DecodeFileText(bytes), ...) gives back `bytes` exactly.
TFileEncoding DecodeFileText(std::string& bytes);

// The bytes of a file holding `text` in `encoding`. Text that is no UTF-8 (the
// program never makes such text, but a caller could) has each byte that breaks
// the rules stored as U+FFFD.
std::string EncodeFileText(const std::string& text, const TFileEncoding& encoding);

// The longest user text, in bytes as printed, that a message echoes whole.
inline constexpr std::size_t MessageTextLimit = 200;
// The same for a file's path: long paths are real, and one is cut only where
// no system would open it anyway.
inline constexpr std::size_t MessagePathLimit = 4096;

// User text (an argument, a variable, a path) as an error message echoes it,
// so that the message stays one line of plain text. Control characters, C1
// controls and the Unicode line and paragraph separators become escapes
// ("\n", "\t", "\r", "\x1B", "\u0085"), and so does each byte that is no
// UTF-8 ("\x80"). A backslash is left alone, so that a Windows path reads as
// typed. Text that would print longer than `limit` bytes is cut after a whole
// character and ends in "... (N bytes)", N being the length of all of it.
std::string MessageText(std::string_view text, std::size_t limit = MessageTextLimit);

}  // namespace moonglow
