#include "settings/TextEncoding.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace moonglow {
namespace {

// Code units laid out as bytes by hand, so that the expected files do not come
// from the code under test.
std::string Units(std::u16string_view units, bool bigEndian) {
  std::string s;
  for (const char16_t u : units) {
    const char hi = static_cast<char>(u >> 8);
    const char lo = static_cast<char>(u & 0xFF);
    s += bigEndian ? hi : lo;
    s += bigEndian ? lo : hi;
  }
  return s;
}

std::string Utf8(std::u8string_view s) { return std::string(s.begin(), s.end()); }

std::string RoundTrip(const std::string& bytes) {
  std::string text = bytes;
  const TFileEncoding encoding = DecodeFileText(text);
  return EncodeFileText(text, encoding);
}

TEST(TextEncoding, Utf16OfEitherByteOrderDecodesToUtf8AndBack) {
  // Kana, a letter beyond the basic plane (a surrogate pair) and line ends; the
  // mark becomes the UTF-8 mark, which the reader skips.
  const std::u16string body = u"\uFEFF; 花火 \U0001F386\r\n[S]\nk=1\r\n";
  const std::string expected = Utf8(u8"\uFEFF; 花火 \U0001F386\r\n[S]\nk=1\r\n");
  for (const bool bigEndian : {false, true}) {
    SCOPED_TRACE(bigEndian ? "big-endian" : "little-endian");
    const std::string bytes = Units(body, bigEndian);
    std::string text = bytes;
    const TFileEncoding encoding = DecodeFileText(text);
    EXPECT_EQ(encoding.Encoding, bigEndian ? TTextEncoding::Utf16Be : TTextEncoding::Utf16Le);
    EXPECT_EQ(text, expected);
    EXPECT_EQ(EncodeFileText(text, encoding), bytes);
    // Text added in memory comes out in the file's byte order.
    EXPECT_EQ(EncodeFileText(text + "n=2\r\n", encoding), bytes + Units(u"n=2\r\n", bigEndian));
  }
}

TEST(TextEncoding, OtherFilesAreTakenByteForByte) {
  for (const std::string& bytes :
       {std::string(), std::string("\xFF"), std::string("\xFE"), std::string("\xFE\xFE[S]\n"),
        std::string("\xEF\xBB\xBF[S]\nk=1\n"), std::string("[S]\n\xFF\xFE\x80k=1")}) {
    std::string text = bytes;
    const TFileEncoding encoding = DecodeFileText(text);
    EXPECT_EQ(encoding.Encoding, TTextEncoding::Bytes);
    EXPECT_EQ(text, bytes);
    EXPECT_EQ(EncodeFileText(text, encoding), bytes);
  }
}

TEST(TextEncoding, BrokenUtf16KeepsEveryByte) {
  for (const bool bigEndian : {false, true}) {
    SCOPED_TRACE(bigEndian ? "big-endian" : "little-endian");
    const std::string mark = Units(u"\uFEFF", bigEndian);
    const std::u16string lone[] = {
        {u'a', char16_t(0xD800), u'b'},                          // high surrogate alone
        {u'a', char16_t(0xDC00), u'b'},                          // low surrogate alone
        {char16_t(0xDC00), char16_t(0xD800)},                    // a pair the wrong way round
        {char16_t(0xD800), char16_t(0xD800), char16_t(0xDC00)},  // two highs, then a low
        {u'x', char16_t(0xDBFF)},                                // a high surrogate ends the file
        {char16_t(0), u'\r', char16_t(0xFFFF)},
    };
    for (const std::u16string& units : lone) {
      EXPECT_EQ(RoundTrip(mark + Units(units, bigEndian)), mark + Units(units, bigEndian));
    }
    // A trailing odd byte is kept aside and put back after whatever is added.
    std::string text = mark + Units(u"[S]\n", bigEndian) + "\x5B";
    const TFileEncoding encoding = DecodeFileText(text);
    EXPECT_EQ(text, "\xEF\xBB\xBF[S]\n");
    EXPECT_EQ(EncodeFileText(text + "k=1\n", encoding),
              mark + Units(u"[S]\nk=1\n", bigEndian) + "\x5B");
    EXPECT_EQ(RoundTrip(mark + "\x01"), mark + "\x01");
  }
  // A lone surrogate reads as the three bytes of its code point.
  std::string text = Units(u"\uFEFF", false) + Units(std::u16string{char16_t(0xD83C)}, false);
  DecodeFileText(text);
  EXPECT_EQ(text, "\xEF\xBB\xBF\xED\xA0\xBC");
}

TEST(TextEncoding, RandomUtf16FilesRoundTrip) {
  std::mt19937 gen(2024);
  for (int round = 0; round < 2000; ++round) {
    std::string bytes = round % 2 ? "\xFE\xFF" : "\xFF\xFE";
    const int length = static_cast<int>(gen() % 40);
    for (int i = 0; i < length; ++i) {
      // Surrogate bytes (D8..DF) and line ends far more often than chance.
      const unsigned pick = gen() % 4;
      bytes += static_cast<char>(pick == 0 ? 0xD8 + gen() % 8 : pick == 1 ? '\n' : gen());
    }
    ASSERT_EQ(RoundTrip(bytes), bytes) << "round " << round;
  }
}

TEST(TextEncoding, TextThatIsNoUtf8StoresReplacementCharacters) {
  const TFileEncoding le{TTextEncoding::Utf16Le, {}};
  // A stray continuation byte, a cut-off sequence, an over-long form, a code
  // point past U+10FFFF: each bad byte becomes U+FFFD, the rest stays.
  EXPECT_EQ(EncodeFileText("a\x80"
                           "b",
                           le),
            Units(u"a\uFFFDb", false));
  EXPECT_EQ(EncodeFileText("a\xE3\x81", le), Units(u"a\uFFFD\uFFFD", false));
  EXPECT_EQ(EncodeFileText("\xC0\xAF", le), Units(u"\uFFFD\uFFFD", false));
  EXPECT_EQ(EncodeFileText("\xF4\x90\x80\x80", le), Units(u"\uFFFD\uFFFD\uFFFD\uFFFD", false));
}

// ---------------------------------------------------------------------------
// User text inside a one-line message.

TEST(MessageText, PrintableTextStaysAsItIs) {
  for (const char* text : {"", "0x1A00007", "/home/user/.config/ZELMoonGlow3xx.ini",
                           "C:\\WINDOWS\\ZELMoonGlow3xx.ini", "it's \"quoted\""}) {
    EXPECT_EQ(MessageText(text), text);
  }
  const std::string japanese = Utf8(u8"/home/花火/設定 \U0001F386.ini");
  EXPECT_EQ(MessageText(japanese), japanese);
}

TEST(MessageText, ControlCharactersAndBrokenBytesBecomeEscapes) {
  EXPECT_EQ(MessageText("5\n000"), "5\\n000");
  EXPECT_EQ(MessageText("a\tb\rc"), "a\\tb\\rc");
  EXPECT_EQ(MessageText(std::string("a\0b", 3)), "a\\x00b");
  // An escape sequence would recolour or clear the terminal.
  EXPECT_EQ(MessageText("\x1B[2Jx\x7F"), "\\x1B[2Jx\\x7F");
  // C1 controls (CSI among them) and the Unicode line and paragraph
  // separators, which some terminals and viewers also act on.
  EXPECT_EQ(MessageText(Utf8(u8"a\u0085b\u009B1m")), "a\\u0085b\\u009B1m");
  EXPECT_EQ(MessageText(Utf8(u8"a\u2028b\u2029")), "a\\u2028b\\u2029");
  // Bytes that are no UTF-8: a stray continuation byte, a cut-off sequence,
  // an over-long form, a surrogate.
  EXPECT_EQ(MessageText("a\x80"
                        "b"),
            "a\\x80b");
  EXPECT_EQ(MessageText("\xE3\x81"), "\\xE3\\x81");
  EXPECT_EQ(MessageText("\xC0\xAF"), "\\xC0\\xAF");
  EXPECT_EQ(MessageText("\xED\xA0\x80"), "\\xED\\xA0\\x80");
  // The replacement character itself is text like any other.
  EXPECT_EQ(MessageText(Utf8(u8"\uFFFD")), Utf8(u8"\uFFFD"));
}

TEST(MessageText, LongTextIsCutAtACharacterWithItsLength) {
  const std::string longText(100000, '7');
  EXPECT_EQ(MessageText(longText), std::string(MessageTextLimit, '7') + "... (100000 bytes)");
  EXPECT_EQ(MessageText(std::string(MessageTextLimit, 'x')), std::string(MessageTextLimit, 'x'));
  EXPECT_EQ(MessageText("abcdef", 4), "abcd... (6 bytes)");
  // Never inside a character or an escape: "花" is three bytes, "\n" two.
  EXPECT_EQ(MessageText(Utf8(u8"ab花"), 4), "ab... (5 bytes)");
  EXPECT_EQ(MessageText("abc\ndef", 4), "abc... (7 bytes)");
  // Newlines all the way: the message still ends on one short line.
  const std::string cut = MessageText(std::string(100000, '\n'));
  EXPECT_EQ(cut.find('\n'), std::string::npos);
  EXPECT_LE(cut.size(), MessageTextLimit + 20);
}

}  // namespace
}  // namespace moonglow
