#include "settings/TextEncoding.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace moonglow {

namespace {

bool IsHighSurrogate(std::uint32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLowSurrogate(std::uint32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

// Appends a code point, or a lone surrogate, as UTF-8.
void PutUtf8(std::string& out, std::uint32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

void PutUnit(std::string& out, std::uint32_t unit, bool bigEndian) {
  const char hi = static_cast<char>(unit >> 8);
  const char lo = static_cast<char>(unit & 0xFF);
  out += bigEndian ? hi : lo;
  out += bigEndian ? lo : hi;
}

// The code point (or lone surrogate) at `i`, advancing `i` past it; U+FFFD and
// one byte for anything that is not a whole, shortest-form sequence.
std::uint32_t NextCodePoint(std::string_view s, std::size_t& i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  const std::uint32_t b0 = byte(i);
  std::size_t length = 0;
  std::uint32_t c = 0;
  std::uint32_t least = 0;
  if (b0 < 0x80) {
    ++i;
    return b0;
  } else if (b0 >= 0xC0 && b0 < 0xE0) {
    length = 2;
    c = b0 & 0x1F;
    least = 0x80;
  } else if (b0 >= 0xE0 && b0 < 0xF0) {
    length = 3;
    c = b0 & 0x0F;
    least = 0x800;
  } else if (b0 >= 0xF0 && b0 < 0xF5) {
    length = 4;
    c = b0 & 0x07;
    least = 0x10000;
  } else {
    ++i;
    return 0xFFFD;
  }
  if (s.size() - i < length) {
    ++i;
    return 0xFFFD;
  }
  for (std::size_t k = 1; k < length; ++k) {
    const std::uint32_t b = byte(i + k);
    if ((b & 0xC0) != 0x80) {
      ++i;
      return 0xFFFD;
    }
    c = (c << 6) | (b & 0x3F);
  }
  if (c < least || c > 0x10FFFF) {
    ++i;
    return 0xFFFD;
  }
  i += length;
  return c;
}

}  // namespace

TFileEncoding DecodeFileText(std::string& bytes) {
  TFileEncoding encoding;
  if (bytes.size() < 2) return encoding;
  const auto b0 = static_cast<unsigned char>(bytes[0]);
  const auto b1 = static_cast<unsigned char>(bytes[1]);
  if (b0 == 0xFF && b1 == 0xFE) {
    encoding.Encoding = TTextEncoding::Utf16Le;
  } else if (b0 == 0xFE && b1 == 0xFF) {
    encoding.Encoding = TTextEncoding::Utf16Be;
  } else {
    return encoding;
  }
  const bool bigEndian = encoding.Encoding == TTextEncoding::Utf16Be;
  const std::size_t units = bytes.size() / 2;
  if (bytes.size() % 2 != 0) encoding.OddByte = bytes.substr(bytes.size() - 1);
  const auto unitAt = [&](std::size_t k) -> std::uint32_t {
    const auto first = static_cast<unsigned char>(bytes[2 * k]);
    const auto second = static_cast<unsigned char>(bytes[2 * k + 1]);
    return bigEndian ? (first << 8) | second : (second << 8) | first;
  };
  std::string text;
  // Mostly ASCII: one byte for each code unit.
  text.reserve(units + units / 8);
  for (std::size_t k = 0; k < units; ++k) {
    const std::uint32_t u = unitAt(k);
    if (IsHighSurrogate(u) && k + 1 < units && IsLowSurrogate(unitAt(k + 1))) {
      PutUtf8(text, 0x10000 + ((u - 0xD800) << 10) + (unitAt(k + 1) - 0xDC00));
      ++k;
    } else {
      PutUtf8(text, u);
    }
  }
  bytes = std::move(text);
  return encoding;
}

std::string EncodeFileText(const std::string& text, const TFileEncoding& encoding) {
  if (encoding.Encoding == TTextEncoding::Bytes) return text;
  const bool bigEndian = encoding.Encoding == TTextEncoding::Utf16Be;
  std::string out;
  out.reserve(2 * text.size() + encoding.OddByte.size());
  for (std::size_t i = 0; i < text.size();) {
    const std::uint32_t c = NextCodePoint(text, i);
    if (c < 0x10000) {
      PutUnit(out, c, bigEndian);
    } else {
      PutUnit(out, 0xD800 + ((c - 0x10000) >> 10), bigEndian);
      PutUnit(out, 0xDC00 + ((c - 0x10000) & 0x3FF), bigEndian);
    }
  }
  out += encoding.OddByte;
  return out;
}

std::string MessageText(std::string_view text, std::size_t limit) {
  const auto hex = [](const char* format, std::uint32_t value) {
    char escape[8];
    std::snprintf(escape, sizeof escape, format, static_cast<unsigned>(value));
    return std::string(escape);
  };
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t start = i;
    const std::uint32_t c = NextCodePoint(text, i);
    const std::string_view whole = text.substr(start, i - start);
    std::string piece;
    if (c == '\n') {
      piece = "\\n";
    } else if (c == '\t') {
      piece = "\\t";
    } else if (c == '\r') {
      piece = "\\r";
    } else if (c < 0x20 || c == 0x7F || (c == 0xFFFD && whole.size() == 1) || IsHighSurrogate(c) ||
               IsLowSurrogate(c)) {
      for (const char byte : whole) piece += hex("\\x%02X", static_cast<unsigned char>(byte));
    } else if ((c >= 0x80 && c < 0xA0) || c == 0x2028 || c == 0x2029) {
      piece = hex("\\u%04X", c);
    } else {
      piece = whole;
    }
    if (out.size() + piece.size() > limit) {
      return out + "... (" + std::to_string(text.size()) + " bytes)";
    }
    out += piece;
  }
  return out;
}

}  // namespace moonglow
