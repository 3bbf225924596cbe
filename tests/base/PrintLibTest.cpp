// AsciiVSPrint / AsciiSPrint: each conversion, field layout, the 64-bit prefix, truncation,
// status names and the GUID form.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include <Guids.h>
#include <Library/PrintLib.h>

namespace {

// Formats into a buffer of BufferSize bytes and checks the returned length against the text.
template <typename... ARGS> std::string Print(UINTN BufferSize, const char *Spec, ARGS... Args) {
  std::vector<CHAR8> Buffer(BufferSize + 1, '#');
  UINTN Length = AsciiSPrint(Buffer.data(), BufferSize, Spec, Args...);
  std::string Text(Buffer.data());
  EXPECT_EQ(Length, Text.size()) << "format \"" << Spec << "\"";
  return Text;
}

template <typename... ARGS> std::string Print(const char *Spec, ARGS... Args) {
  return Print(512, Spec, Args...);
}

// The C library's rendering of the same field, for the part of the grammar both share.
template <typename... ARGS> std::string CFormat(const char *Spec, ARGS... Args) {
  char Buffer[128];
  std::snprintf(Buffer, sizeof(Buffer), Spec, Args...);
  return Buffer;
}

TEST(PrintLib, EachConversionFormatsItsArgument) {
  EXPECT_EQ(Print("[%a]", "ascii"), "[ascii]");
  EXPECT_EQ(Print("[%s]", u"wide"), "[wide]");
  EXPECT_EQ(Print("[%S]", u"wide"), "[wide]");
  EXPECT_EQ(Print("[%c%c]", 'o', 'k'), "[ok]");
  EXPECT_EQ(Print("[%d]", -1234), "[-1234]");
  EXPECT_EQ(Print("[%u]", 4000000000u), "[4000000000]");
  EXPECT_EQ(Print("[%x]", 0xbeefu), "[BEEF]");
  EXPECT_EQ(Print("[%X]", 0xbeefu), "[BEEF]");
  EXPECT_EQ(Print("[%p]", reinterpret_cast<void *>(0x1234ABCD)), "[1234ABCD]");
  EXPECT_EQ(Print("[%r]", EFI_NOT_FOUND), "[Not Found]");
  EXPECT_EQ(Print("[100%%]"), "[100%]");
  EXPECT_EQ(Print("[%a|%d|%a]", "one", 2, "three"), "[one|2|three]");
}

TEST(PrintLib, NullStringsAndGuidsAreNamed) {
  EXPECT_EQ(Print("%a", static_cast<const char *>(nullptr)), "<null string>");
  EXPECT_EQ(Print("%s", static_cast<const CHAR16 *>(nullptr)), "<null string>");
  EXPECT_EQ(Print("%g", static_cast<const EFI_GUID *>(nullptr)), "<null guid>");
}

TEST(PrintLib, WideStringsKeepTheLowByte) {
  EXPECT_EQ(Print("%s", u"A\u0142B"), "ABB");
}

TEST(PrintLib, WidthPaddingAndJustification) {
  EXPECT_EQ(Print("[%6d]", 42), "[    42]");
  EXPECT_EQ(Print("[%-6d]", 42), "[42    ]");
  EXPECT_EQ(Print("[%06d]", 42), "[000042]");
  EXPECT_EQ(Print("[%06d]", -42), "[-00042]");
  EXPECT_EQ(Print("[%-06d]", 42), "[42    ]");
  EXPECT_EQ(Print("[%2d]", 12345), "[12345]");
  EXPECT_EQ(Print("[%8a]", "abc"), "[     abc]");
  EXPECT_EQ(Print("[%-8a]", "abc"), "[abc     ]");
  EXPECT_EQ(Print("[%.2a]", "abc"), "[ab]");
  EXPECT_EQ(Print("[%5.1s]", u"xyz"), "[    x]");
  EXPECT_EQ(Print("[%3c]", 'z'), "[  z]");
  EXPECT_EQ(Print("[%*d]", UINTN(5), 7), "[    7]");
  EXPECT_EQ(Print("[%.*a]", UINTN(1), "abc"), "[a]");
}

TEST(PrintLib, HexPaddingFollowsTheConversion) {
  // %x pads with spaces unless asked for zeros, %X always pads with zeros, %p likewise.
  EXPECT_EQ(Print("[%8x]", 0xABu), "[      AB]");
  EXPECT_EQ(Print("[%08x]", 0xABu), "[000000AB]");
  EXPECT_EQ(Print("[%8X]", 0xABu), "[000000AB]");
  EXPECT_EQ(Print("[%-8X]", 0xABu), "[AB      ]");
  EXPECT_EQ(Print("[%8p]", reinterpret_cast<void *>(0xAB)), "[000000AB]");
}

TEST(PrintLib, DecimalAndHexAgreeWithTheCLibrary) {
  const std::vector<INT64> Values = {
      0, 1, -1, 9, 10, 99, 100, 65535, 65536, -65536, 2147483647, -2147483647 - 1, 1000000007};
  const std::vector<const char *> Specs = {"%d", "%5d", "%-5d", "%05d", "%+d", "% d", "%.4d"};
  for (INT64 Value : Values) {
    int Narrow = static_cast<int>(Value);
    for (const char *Spec : Specs) {
      EXPECT_EQ(Print(Spec, Narrow), CFormat(Spec, Narrow)) << Spec << " " << Narrow;
    }
    EXPECT_EQ(Print("%x", Narrow), CFormat("%X", Narrow)) << Narrow;
    EXPECT_EQ(Print("%u", Narrow), CFormat("%u", Narrow)) << Narrow;
    EXPECT_EQ(Print("%012lx", Value), CFormat("%012llX", Value)) << Value;
  }
}

TEST(PrintLib, LongPrefixTakesSixtyFourBitArguments) {
  EXPECT_EQ(Print("%lx", 0x123456789ABCDEF0ull), "123456789ABCDEF0");
  EXPECT_EQ(Print("%LX", 0x123456789ABCDEF0ull), "123456789ABCDEF0");
  EXPECT_EQ(Print("%lu", ~0ull), "18446744073709551615");
  EXPECT_EQ(Print("%ld", static_cast<INT64>(-9223372036854775807ll - 1)), "-9223372036854775808");
  EXPECT_EQ(Print("%016lx", 0x4000000000000ull), "0004000000000000");
  // Without the prefix the argument is int-sized, so the following one is read correctly.
  EXPECT_EQ(Print("%x %a", -1, "next"), "FFFFFFFF next");
  EXPECT_EQ(Print("%lx %a", 0x100000000ull, "next"), "100000000 next");
}

TEST(PrintLib, TruncatesAndAlwaysTerminates) {
  std::vector<CHAR8> Buffer(16, '#');
  EXPECT_EQ(AsciiSPrint(Buffer.data(), 8, "Hello, %a", "world"), 7u);
  EXPECT_EQ(std::string(Buffer.data()), "Hello, ");
  EXPECT_EQ(Buffer[8], '#') << "wrote past the buffer size";

  EXPECT_EQ(Print(1, "anything %d", 5), "");
  EXPECT_EQ(Print(4, "%08X", 0x12u), "000");
  EXPECT_EQ(Print(6, "%-10a|", "ab"), "ab   ");

  CHAR8 Untouched = '#';
  EXPECT_EQ(AsciiSPrint(&Untouched, 0, "text"), 0u);
  EXPECT_EQ(Untouched, '#');

  // A message longer than the 512-byte buffer of the debug path is cut to 511 characters.
  std::string Long(600, 'x');
  std::vector<CHAR8> Message(512);
  EXPECT_EQ(AsciiSPrint(Message.data(), Message.size(), "%a", Long.c_str()), 511u);
  EXPECT_EQ(Message[511], 0);
  EXPECT_EQ(std::string(Message.data()), Long.substr(0, 511));
}

TEST(PrintLib, StatusNames) {
  EXPECT_EQ(Print("%r", EFI_SUCCESS), "Success");
  EXPECT_EQ(Print("%r", EFI_LOAD_ERROR), "Load Error");
  EXPECT_EQ(Print("%r", EFI_INVALID_PARAMETER), "Invalid Parameter");
  EXPECT_EQ(Print("%r", EFI_BUFFER_TOO_SMALL), "Buffer Too Small");
  EXPECT_EQ(Print("%r", EFI_OUT_OF_RESOURCES), "Out of Resources");
  EXPECT_EQ(Print("%r", EFI_UNSUPPORTED), "Unsupported");
  EXPECT_EQ(Print("%r", EFI_COMPROMISED_DATA), "Compromised Data");
  EXPECT_EQ(Print("%r", EFI_WARN_UNKNOWN_GLYPH), "Warning Unknown Glyph");
  EXPECT_EQ(Print("%r", EFI_WARN_STALE_DATA), "Warning Stale Data");
  // A value without a name is shown in hexadecimal.
  EXPECT_EQ(Print("%r", EncodeError(100)), "8000000000000064");
  EXPECT_EQ(Print("%r", EFI_STATUS(0x40)), "40");
  EXPECT_EQ(Print("[%-12r]", EFI_NOT_READY), "[Not Ready   ]");
}

TEST(PrintLib, GuidsInRegistryForm) {
  EXPECT_EQ(Print("%g", &EFI_HOB_LIST_GUID), "7739F24C-93D7-11D4-9A3A-0090273FC14D");
  EXPECT_EQ(Print("%g", &S3_SAVE_COMMUNICATE_GUID), "5C4061F0-D051-4F43-BC23-5E5E89B3CEC0");
  constexpr EFI_GUID Small = {0xA, 0xB, 0xC, {0, 1, 2, 3, 4, 5, 6, 7}};
  EXPECT_EQ(Print("{%g}", &Small), "{0000000A-000B-000C-0001-020304050607}");
}

TEST(PrintLib, UnknownConversionIsShownAsWritten) {
  EXPECT_EQ(Print("%q|%d", 3), "q|3");
  EXPECT_EQ(Print("trailing %"), "trailing ");
}

} // namespace
