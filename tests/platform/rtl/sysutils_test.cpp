#include "platform/rtl/sysutils.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <filesystem>

#include "tests/support/TempFolder.h"

namespace {

namespace fs = std::filesystem;

// A fresh folder under /tmp, removed with everything in it.

// ---- Format ----

TEST(Format, IntegersOfEveryWidthIncludingInt64) {
  const int64_t big = 5'000'000'000;
  EXPECT_EQ(Format("size %d of %d", big, -big), "size 5000000000 of -5000000000");
  EXPECT_EQ(Format("%d", INT64_MIN), "-9223372036854775808");
  EXPECT_EQ(Format("%d", UINT64_MAX), "18446744073709551615");
  EXPECT_EQ(Format("%u%%", 42u), "42%");
  // %u and %x show negative values as their type's two's complement.
  EXPECT_EQ(Format("%u", -1), "4294967295");
  EXPECT_EQ(Format("%x", -1), "FFFFFFFF");
  EXPECT_EQ(Format("%x", int64_t{-1}), "FFFFFFFFFFFFFFFF");
  EXPECT_EQ(Format("%X %x", 255, short(-2)), "FF FFFFFFFE");
  // Precision is the minimum digit count; width pads with blanks.
  EXPECT_EQ(Format("%2.2d:%4.4d", 5, 7), "05:0007");
  EXPECT_EQ(Format("%.3d", -5), "-005");
  EXPECT_EQ(Format("[%5d][%-5d][%*d][%-*d]", 42, 42, 4, 7, 3, 7), "[   42][42   ][   7][7  ]");
  EXPECT_EQ(Format("%.8x", 0xABCu), "00000ABC");
}

TEST(Format, FloatsRoundHalfAwayFromZeroOnTheirDecimalDigits) {
  EXPECT_EQ(Format("%.2f", 0.125), "0.13");
  EXPECT_EQ(Format("%.2f", -0.125), "-0.13");
  EXPECT_EQ(Format("%.1f", 2.25), "2.3");
  EXPECT_EQ(Format("%f", 3.14159), "3.14");  // two decimals by default
  EXPECT_EQ(Format("%.0f", 2.5), "3");
  EXPECT_EQ(Format("%.2f", -0.001), "0.00");  // no "-0.00"
  EXPECT_EQ(Format("%.3f", 1e15), "1000000000000000.000");
  EXPECT_EQ(Format("%n", 1234567.891), "1,234,567.89");
  EXPECT_EQ(Format("%.0n", -1234.5), "-1,235");
  EXPECT_EQ(Format("%e", 1.0), "1.00000000000000E+000");
  EXPECT_EQ(Format("%.3e", -12345.0), "-1.23E+004");
  EXPECT_EQ(Format("%g|%g|%g", 1.5, 0.1, 1e20), "1.5|0.1|1E20");
  EXPECT_EQ(Format("%8.2f|%-8.2f|", 1.5, 1.5), "    1.50|1.50    |");
}

TEST(Format, StringsCharactersAndPointers) {
  const std::string s = "abc";
  const char* none = nullptr;
  EXPECT_EQ(Format("%s-%s-%s-%s", s, std::string_view("de"), "f", 'g'), "abc-de-f-g");
  EXPECT_EQ(Format("[%5s][%-5s][%.2s]", s, s, s), "[  abc][abc  ][ab]");
  EXPECT_EQ(Format("[%s]", none), "[]");
  EXPECT_EQ(Format("%p", reinterpret_cast<const void*>(0xBEEF)), "000000000000BEEF");
  EXPECT_EQ(Format("100%% done %s", "now"), "100% done now");
  EXPECT_EQ(Format("\"%s\" %s", "C:\\a b\\x.exe", "/q"), "\"C:\\a b\\x.exe\" /q");
}

TEST(Format, OutsideTextIsNeverAFormat) {
  // A run-time string cannot become a format: there is no conversion at all.
  static_assert(!std::is_convertible_v<std::string, FormatText<>>);
  static_assert(!std::is_convertible_v<std::string_view, FormatText<int>>);
  // The explicit escape for program-owned texts is checked while formatting.
  const std::string korean = "서버에 접속중입니다.(재실행:%d)";
  EXPECT_EQ(Format(TrustedFormat(korean), 3), "서버에 접속중입니다.(재실행:3)");
  const std::string percentInText = "50%s";
  EXPECT_EQ(Format("%s", percentInText), "50%s");  // outside text as an argument stays text
}

TEST(Format, TrustedTextThatDoesNotFitRaisesConvertError) {
  const auto bad = [](std::string text, auto... args) {
    try {
      Format(TrustedFormat(text), args...);
    } catch (const EConvertError& e) {
      return e.Message();
    }
    return std::string("no error");
  };
  EXPECT_EQ(bad("%d", std::string("x")), "Format '%d' invalid or incompatible with argument");
  EXPECT_EQ(bad("%s and %s", "one"), "Format '%s and %s' invalid or incompatible with argument");
  EXPECT_EQ(bad("%f", 1), "Format '%f' invalid or incompatible with argument");
  EXPECT_EQ(bad("%s", 1.5), "Format '%s' invalid or incompatible with argument");
  EXPECT_EQ(bad("%q", 1), "Format '%q' invalid or incompatible with argument");
  EXPECT_EQ(bad("ends in %", 1), "Format 'ends in %' invalid or incompatible with argument");
  EXPECT_EQ(bad("%*d", std::string("w"), 1), "Format '%*d' invalid or incompatible with argument");
  // Extra arguments of a trusted text are ignored, as the framework does.
  EXPECT_EQ(Format(TrustedFormat(std::string("%d")), 1, 2), "1");
}

// ---- Conversions ----

TEST(Conversions, IntegerTextRules) {
  EXPECT_EQ(StrToInt("  42"), 42);  // leading blanks are allowed
  EXPECT_EQ(StrToInt("-2147483648"), INT_MIN);
  EXPECT_EQ(StrToInt("+7"), 7);
  EXPECT_EQ(StrToInt("$1F"), 31);
  EXPECT_EQ(StrToInt("0x1f"), 31);
  EXPECT_EQ(StrToInt("-$10"), -16);
  EXPECT_EQ(StrToInt("$FFFFFFFF"), -1);  // hexadecimal covers the unsigned range
  EXPECT_EQ(StrToInt64("9223372036854775807"), INT64_MAX);
  EXPECT_EQ(StrToInt64("-9223372036854775808"), INT64_MIN);
  EXPECT_EQ(StrToInt64("$FFFFFFFFFFFFFFFF"), -1);
  EXPECT_EQ(StrToInt64("4294967296"), int64_t{1} << 32);
  for (const char* bad : {"", " ", "42 ", "4 2", "2147483648", "-2147483649", "$", "0x", "+", "-", "1.0", "$1G",
                          "$100000000", "\t1", "1e3"}) {
    Integer v = 0;
    EXPECT_FALSE(TryStrToInt(bad, v)) << '"' << bad << '"';
    EXPECT_EQ(StrToIntDef(bad, -7), -7) << bad;
  }
  EXPECT_FALSE(StrToInt64Def("9223372036854775808", 0));
  try {
    StrToInt("12 ");
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "'12 ' is not a valid integer value");
  }
  EXPECT_THROW(StrToInt64("x"), EConvertError);
}

TEST(Conversions, IntegerAndFloatTexts) {
  EXPECT_EQ(IntToStr(-5'000'000'000), "-5000000000");
  EXPECT_EQ(IntToHex(255, 4), "00FF");
  EXPECT_EQ(IntToHex(-1, 4), "FFFFFFFF");
  EXPECT_EQ(IntToHex(int64_t{-1}, 4), "FFFFFFFFFFFFFFFF");
  EXPECT_EQ(IntToHex(uint8_t{0xAB}, 1), "AB");
  EXPECT_EQ(FloatToStr(0.1), "0.1");
  EXPECT_EQ(FloatToStr(1.0 / 3), "0.333333333333333");
  EXPECT_EQ(FloatToStr(-2.5), "-2.5");
  EXPECT_EQ(FloatToStr(100), "100");
  EXPECT_EQ(FloatToStr(1e20), "1E20");
  EXPECT_EQ(FloatToStr(0.0001), "0.0001");
  EXPECT_EQ(FloatToStr(0.00001), "1E-5");
  EXPECT_EQ(FloatToStr(0), "0");
  EXPECT_DOUBLE_EQ(StrToFloat(" 1.5e3 "), 1500);
  EXPECT_DOUBLE_EQ(StrToFloat("-.5"), -0.5);
  EXPECT_DOUBLE_EQ(StrToFloat("+2."), 2);
  for (const char* bad : {"", ".", "1,5", "inf", "nan", "0x10", "1e", "1e+", "--1", "1e999", "123e307"})
    EXPECT_THROW(StrToFloat(bad), EConvertError) << bad;
  EXPECT_DOUBLE_EQ(StrToFloatDef("x", 9.5), 9.5);
  EXPECT_EQ(StrToFloat("0.000001e-400"), 0);  // underflow is zero, not an error
}

TEST(Conversions, FormatFloatPictures) {
  EXPECT_EQ(FormatFloat("#,###", 0), "");  // the progress label shows nothing before "/"
  EXPECT_EQ(FormatFloat("#,###", 999), "999");
  EXPECT_EQ(FormatFloat("#,###", 1000), "1,000");
  EXPECT_EQ(FormatFloat("#,###", 1234567), "1,234,567");
  EXPECT_EQ(FormatFloat("#,###", 9'007'199'254'740'993LL), "9,007,199,254,740,993");  // beyond double's 53 bits
  EXPECT_EQ(FormatFloat("#,###", -1234.4), "-1,234");
  EXPECT_EQ(FormatFloat("#,###", 0.4), "");
  EXPECT_EQ(FormatFloat("#,##0", 0), "0");
  EXPECT_EQ(FormatFloat("0.00", 3.14159), "3.14");
  EXPECT_EQ(FormatFloat("0.00", 0.005), "0.01");
  EXPECT_EQ(FormatFloat("0.00", -0.001), "0.00");
  EXPECT_EQ(FormatFloat("0.###", 0.5), "0.5");
  EXPECT_EQ(FormatFloat("0.###", 2), "2");
  EXPECT_EQ(FormatFloat("0.###", 0.12345), "0.123");
  EXPECT_EQ(FormatFloat("0.###", 0.9999), "1");
  EXPECT_EQ(FormatFloat("000", 7), "007");
  EXPECT_EQ(FormatFloat("#,##0.00 \"KB\"", 12345.678), "12,345.68 KB");
  EXPECT_EQ(FormatFloat("0;(0);zero", -5), "(5)");
  EXPECT_EQ(FormatFloat("0;(0);zero", 0), "zero");
  EXPECT_EQ(FormatFloat("0;(0);zero", 0.2), "zero");
  EXPECT_EQ(FormatFloat("", 1.5), "1.5");
}

TEST(Conversions, RoundHalvesToEvenAndTruncTowardZero) {
  EXPECT_EQ(Round(0.5), 0);
  EXPECT_EQ(Round(1.5), 2);
  EXPECT_EQ(Round(2.5), 2);
  EXPECT_EQ(Round(-0.5), 0);
  EXPECT_EQ(Round(-1.5), -2);
  EXPECT_EQ(Round(2.5000001), 3);
  EXPECT_EQ(Round(50.0 / 100 * 100), 50);
  EXPECT_EQ(Trunc(-2.9), -2);
  EXPECT_EQ(Trunc(1e15 + 0.5), 1'000'000'000'000'000);
  EXPECT_THROW(Round(1e19), EInvalidOp);
  EXPECT_THROW(Trunc(std::nan("")), EInvalidOp);
}

// ---- Dates ----

TEST(Dates, SerialNumbersAndValidation) {
  EXPECT_EQ(EncodeDate(1899, 12, 30), 0);
  EXPECT_EQ(EncodeDate(2000, 1, 1), 36526);
  EXPECT_EQ(EncodeDate(1, 1, 1), -693593);
  EXPECT_EQ(EncodeDate(2024, 2, 29) - EncodeDate(2024, 2, 28), 1);
  EXPECT_THROW(EncodeDate(2023, 2, 29), EConvertError);
  EXPECT_THROW(EncodeDate(2000, 13, 1), EConvertError);
  EXPECT_THROW(EncodeDate(0, 1, 1), EConvertError);
  EXPECT_THROW(EncodeTime(24, 0, 0, 0), EConvertError);
  Word y, m, d, h, n, s, ms;
  DecodeDate(EncodeDate(1900, 3, 1), y, m, d);  // 1900 is no leap year
  EXPECT_EQ((std::array<Word, 3>{y, m, d}), (std::array<Word, 3>{1900, 3, 1}));
  DecodeDate(-1.25, y, m, d);  // before the epoch the date part is truncated toward zero
  DecodeTime(-1.25, h, n, s, ms);
  EXPECT_EQ((std::array<Word, 5>{m, d, h, n, s}), (std::array<Word, 5>{12, 29, 6, 0, 0}));
  // A time a hair before midnight rounds to the next day, not to 24:00.
  const TDateTime late = EncodeDate(2023, 12, 31) + 0.99999999999;
  DecodeDate(late, y, m, d);
  DecodeTime(late, h, n, s, ms);
  EXPECT_EQ((std::array<Word, 7>{y, m, d, h, n, s, ms}), (std::array<Word, 7>{2024, 1, 1, 0, 0, 0, 0}));
  EXPECT_EQ(DaysBetween(EncodeDate(2024, 1, 1), EncodeDate(2023, 10, 3)), 90);
  EXPECT_EQ(DaysBetween(EncodeDate(2023, 10, 3) + 0.5, EncodeDate(2024, 1, 1)), 89);
  EXPECT_EQ(IncDay(EncodeDate(2024, 2, 28), 2), EncodeDate(2024, 3, 1));
}

TEST(Dates, FormatDateTimePictures) {
  const TDateTime t = EncodeDate(2024, 3, 5) + EncodeTime(7, 8, 9, 45);
  EXPECT_EQ(FormatDateTime("yyyy-mm-dd hh:nn:ss:zzz", t), "2024-03-05 07:08:09:045");
  EXPECT_EQ(FormatDateTime("hh:nn:ss:zzz", t), "07:08:09:045");
  EXPECT_EQ(FormatDateTime("c", t), "2024-03-05 07:08:09");
  EXPECT_EQ(FormatDateTime("c", EncodeDate(2024, 3, 5)), "2024-03-05");  // midnight shows no time
  EXPECT_EQ(FormatDateTime("m/d/yy h:n:s z", t), "3-5-24 7:8:9 45");
  EXPECT_EQ(FormatDateTime("hh:mm", t), "07:08");  // "m" after an hour is the minute
  EXPECT_EQ(FormatDateTime("ddd dddd mmm mmmm", t), "Tue Tuesday Mar March");
  EXPECT_EQ(FormatDateTime("\"yy\" 'mm' yyyy", t), "yy mm 2024");
  EXPECT_EQ(FormatDateTime("yyyymmdd", EncodeDate(987, 6, 1)), "09870601");
}

TEST(Dates, NowIsLocalTimeToTheMillisecond) {
  const TDateTime before = Now();
  const time_t secs = time(nullptr);
  tm local{};
  localtime_r(&secs, &local);
  const TDateTime expected = EncodeDate(Word(local.tm_year + 1900), Word(local.tm_mon + 1), Word(local.tm_mday)) +
                             EncodeTime(Word(local.tm_hour), Word(local.tm_min), Word(local.tm_sec), 0);
  EXPECT_LT(std::fabs(before - expected) * 86400, 2.0);
  EXPECT_EQ(Date(), std::trunc(Now()));
  EXPECT_GE(Time(), 0);
  EXPECT_LT(Time(), 1);
}

// ---- Strings ----

TEST(Strings, OneBasedPositionsClampLikeTheFramework) {
  EXPECT_EQ(Pos("b", "abcb"), 2);
  EXPECT_EQ(Pos("", "abc"), 0);
  EXPECT_EQ(Pos("x", "abc"), 0);
  EXPECT_EQ(PosEx("b", "abcb", 3), 4);
  EXPECT_EQ(PosEx("b", "abcb", 0), 0);
  EXPECT_EQ(PosEx("b", "abcb", 5), 0);
  EXPECT_EQ(Copy("abcdef", 2, 3), "bcd");
  EXPECT_EQ(Copy("abcdef", 0, 2), "ab");  // an index below 1 counts as 1
  EXPECT_EQ(Copy("abcdef", -3, 2), "ab");
  EXPECT_EQ(Copy("abcdef", 5, 100), "ef");
  EXPECT_EQ(Copy("abcdef", 7, 1), "");
  EXPECT_EQ(Copy("abcdef", 2, -1), "");
  EXPECT_EQ(Copy("abcdef", 2, INT_MAX), "bcdef");
  std::string s = "abcdef";
  Delete(s, 0, 2);
  EXPECT_EQ(s, "abcdef");
  Delete(s, 5, 10);
  EXPECT_EQ(s, "abcd");
  Delete(s, 2, 1);
  EXPECT_EQ(s, "acd");
  Insert("XY", s, 0);
  EXPECT_EQ(s, "XYacd");
  Insert("!", s, 100);
  EXPECT_EQ(s, "XYacd!");
  Insert("-", s, 3);
  EXPECT_EQ(s, "XY-acd!");
  EXPECT_EQ(CompareStr("a", "B"), 1);
  EXPECT_EQ(CompareText("a", "B"), -1);
  EXPECT_TRUE(SameText("Héllo", "hÉLLO") == false);  // ASCII case only
  EXPECT_EQ(UpperCase("abc한글"), "ABC한글");
  EXPECT_EQ(Trim("\t x \r\n"), "x");
}

TEST(Strings, StringReplaceFlags) {
  EXPECT_EQ(StringReplace("a.b.c", ".", "/", {}), "a/b.c");
  EXPECT_EQ(StringReplace("a.b.c", ".", "/", {rfReplaceAll}), "a/b/c");
  EXPECT_EQ(StringReplace("%root%\\x %ROOT%", "%ROOT%", "/opt", {rfReplaceAll, rfIgnoreCase}), "/opt\\x /opt");
  EXPECT_EQ(StringReplace("%root%", "%ROOT%", "/opt", {rfReplaceAll}), "%root%");
  EXPECT_EQ(StringReplace("aaa", "aa", "a", {rfReplaceAll}), "aa");  // no rescanning of the result
  EXPECT_EQ(StringReplace("abc", "", "x", {rfReplaceAll}), "abc");
  EXPECT_EQ(StringReplace("a b c", " ", "%20", {rfReplaceAll}), "a%20b%20c");
}

// ---- Parameters ----

TEST(Params, ArgumentsAndProgramPath) {
  char a0[] = "prog", a1[] = "-B:/u:kim", a2[] = "-FU";
  char* argv[] = {a0, a1, a2};
  InitParams(3, argv);
  EXPECT_EQ(ParamCount(), 2);
  EXPECT_EQ(ParamStr(1), "-B:/u:kim");
  EXPECT_EQ(ParamStr(2), "-FU");
  EXPECT_EQ(ParamStr(3), "");
  EXPECT_EQ(ParamStr(-1), "");
  EXPECT_EQ(ParamStr(0), fs::read_symlink("/proc/self/exe").string());
}

TEST(Params, EnvironmentSecondsTakesOnlyAPlainDecimalNumber) {
  const std::string huge(400, '9');  // beyond any double
  const std::pair<const char*, double> cases[] = {
      {"5", 5},    {"0", 0},       {"2.5", 2.5}, {".5", 0.5},   {"7.", 7},    {"5abc", -1}, {"0x10", -1},
      {"inf", -1}, {"nan", -1},    {"-1", -1},   {"+3", -1},    {"1e3", -1},  {" 5", -1},   {"5 ", -1},
      {"", -1},    {".", -1},      {"1.2.3", -1}, {huge.c_str(), -1}};
  for (const auto& [text, seconds] : cases) {
    setenv("VX_TEST_SECONDS", text, 1);
    EXPECT_EQ(EnvironmentSeconds("VX_TEST_SECONDS", -1), seconds) << '"' << text << '"';
  }
  unsetenv("VX_TEST_SECONDS");
  EXPECT_EQ(EnvironmentSeconds("VX_TEST_SECONDS", 4), 4);
}

// ---- File names ----

TEST(FileNames, BothDelimitersEverywhere) {
  EXPECT_EQ(ExtractFilePath("C:\\app\\bin/x.dll"), "C:\\app\\bin/");
  EXPECT_EQ(ExtractFileName("C:\\app\\bin/x.dll"), "x.dll");
  EXPECT_EQ(ExtractFileName("C:x.dll"), "x.dll");
  EXPECT_EQ(ExtractFileDir("/opt/app/loader"), "/opt/app");
  EXPECT_EQ(ExtractFileDir("C:\\loader"), "C:\\");
  EXPECT_EQ(ExtractFileDir("/loader"), "/");
  EXPECT_EQ(ExtractFileDir("loader"), "");
  EXPECT_EQ(ExtractFileExt("a.b\\c"), "");  // a dot in a folder name is no extension
  EXPECT_EQ(ExtractFileExt("/x/app.dll.cab"), ".cab");
  EXPECT_EQ(ExtractFileExt("/x.d/app"), "");
  EXPECT_EQ(ExtractFileDrive("C:\\a"), "C:");
  EXPECT_EQ(ExtractFileDrive("\\\\srv\\share\\a\\b"), "\\\\srv\\share");
  EXPECT_EQ(ExtractFileDrive("/a/b"), "");
  EXPECT_EQ(ChangeFileExt("/opt/app/loader", ".ini"), "/opt/app/loader.ini");
  EXPECT_EQ(ChangeFileExt("/opt/a.b/loader.exe", ".INI"), "/opt/a.b/loader.INI");
  EXPECT_EQ(ChangeFileExt("x.dll.cab", ""), "x.dll");
  EXPECT_EQ(IncludeTrailingPathDelimiter("/opt/app"), "/opt/app/");
  EXPECT_EQ(IncludeTrailingPathDelimiter("C:\\app"), "C:\\app\\");
  EXPECT_EQ(IncludeTrailingBackslash("/opt/app/"), "/opt/app/");
  EXPECT_EQ(ExcludeTrailingPathDelimiter("C:\\app\\"), "C:\\app");
  EXPECT_TRUE(IsPathDelimiter("a/b\\", 2));
  EXPECT_TRUE(IsPathDelimiter("a/b\\", 4));
  EXPECT_FALSE(IsPathDelimiter("a/b\\", 5));
  EXPECT_EQ(ExpandFileName("/opt/app\\bin/../x/./y.dll"), "/opt/app/x/y.dll");
  EXPECT_EQ(ExpandFileName("\\a\\..\\..\\b\\"), "/b/");
  EXPECT_EQ(ExpandFileName("rel\\x"), GetCurrentDir() + "/rel/x");
}

TEST(FileNames, NativePathFindsExistingNamesIgnoringCase) {
  TempFolder t;
  fs::create_directories(t / "App/Bin");
  WriteFileBytes(t / "App/Bin/Data.XML", "x");
  EXPECT_EQ(NativePath(t.Path() + "\\app\\BIN\\data.xml"), t / "App/Bin/Data.XML");
  EXPECT_EQ(NativePath(t.Path() + "/App//Bin/"), t / "App/Bin/");
  // A new file keeps the case it is given, in the existing folder's real name.
  EXPECT_EQ(NativePath(t.Path() + "\\APP\\bin\\New.Txt"), t / "App/Bin/New.Txt");
  EXPECT_EQ(NativePath(t.Path() + "\\app\\NoSuch\\Deep.txt"), t / "App/NoSuch/Deep.txt");
  // Of two names differing only in case, the exact one wins, else a fixed choice.
  WriteFileBytes(t / "App/Bin/data.xml", "y");
  EXPECT_EQ(NativePath(t / "App/Bin/data.xml"), t / "App/Bin/data.xml");
  EXPECT_EQ(NativePath(t / "App/Bin/DATA.xml"), t / "App/Bin/Data.XML");
  EXPECT_TRUE(FileExists(t.Path() + "\\APP\\BIN\\DATA.XML"));
  EXPECT_FALSE(FileExists(t.Path() + "\\APP\\BIN"));  // a folder is no file
  EXPECT_TRUE(DirectoryExists(t.Path() + "\\APP\\BIN\\"));
  EXPECT_FALSE(DirectoryExists(t / "App/Bin/Data.XML"));
  EXPECT_FALSE(FileExists(""));
}

TEST(FileNames, ExeNameStandsForTheProgramWithoutExtension) {
  TempFolder t;
  WriteFileBytes(t / "loader", "bin");
  WriteFileBytes(t / "tool.exe", "real exe");
  WriteFileBytes(t / "tool", "other");
  EXPECT_EQ(NativePath(t / "LOADER.EXE"), t / "loader");
  EXPECT_TRUE(FileExists(t / "Loader.Exe"));
  EXPECT_EQ(NativePath(t / "tool.EXE"), t / "tool.exe");  // an existing .exe is itself
  EXPECT_EQ(NativePath(t / "other.exe"), t / "other.exe");  // neither exists: the name as given
  EXPECT_EQ(NativePath(t / ".exe"), t / ".exe");
  EXPECT_TRUE(DeleteFile(t / "LOADER.exe"));
  EXPECT_FALSE(fs::exists(t / "loader"));
}

TEST(FileNames, OpenNativeOpensWhatNativePathNames) {
  TempFolder t;
  fs::create_directories(t / "App");
  WriteFileBytes(t / "App/Data.XML", "data");
  WriteFileBytes(t / "App/loader", "program");
  const auto contents = [](int fd) {
    char buffer[16] = {};
    const ssize_t got = fd >= 0 ? read(fd, buffer, sizeof buffer) : -1;
    if (fd >= 0) close(fd);
    return got < 0 ? std::string("(not opened)") : std::string(buffer, size_t(got));
  };
  EXPECT_EQ(contents(OpenNative(t.Path() + "\\App\\Data.XML", O_RDONLY)), "data");
  EXPECT_EQ(contents(OpenNative(t.Path() + "\\app\\DATA.xml", O_RDONLY)), "data");
  EXPECT_EQ(contents(OpenNative(t / "APP/Loader.exe", O_RDONLY)), "program");
  errno = 0;
  EXPECT_EQ(OpenNative(t / "app/missing", O_RDONLY), -1);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_EQ(OpenNative("", O_RDONLY), -1);
  // Creating reaches the existing file of another case instead of making a second one.
  const int fd = OpenNative(t / "app/data.xml", O_WRONLY | O_CREAT | O_TRUNC);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(write(fd, "new", 3), 3);
  close(fd);
  EXPECT_FALSE(fs::exists(t / "App/data.xml"));
  EXPECT_EQ(contents(OpenNative(t / "App/Data.XML", O_RDONLY)), "new");
  const int program = OpenNative(t / "App/loader", O_RDONLY);
  EXPECT_NE(fcntl(program, F_GETFD) & FD_CLOEXEC, 0);
  close(program);
  // Of two spellings, creating reaches the exact one.
  WriteFileBytes(t / "App/data.xml", "second");
  const int exact = OpenNative(t / "App/data.xml", O_WRONLY | O_CREAT | O_TRUNC);
  EXPECT_EQ(write(exact, "exact", 5), 5);
  close(exact);
  EXPECT_EQ(ReadFileBytes(t / "App/data.xml"), "exact");
  EXPECT_EQ(ReadFileBytes(t / "App/Data.XML"), "new");
}

// With KeepMode, the file put in place of another takes the permissions of the one it
// replaces, found as every existing name is; in place of nothing it keeps its own.
TEST(Files, RenameReplacingCanKeepTheReplacedMode) {
  TempFolder t;
  WriteFileBytes(t / "Tool", "old");
  chmod((t / "Tool").c_str(), 0751);
  const struct {
    const char* target;
    bool keep;
    mode_t mode;
  } cases[] = {{"tool", true, 0751}, {"TOOL.exe", true, 0751}, {"tool", false, 0600}, {"fresh", true, 0600}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.target);
    WriteFileBytes(t / "new", c.target);
    chmod((t / "new").c_str(), 0600);
    ASSERT_TRUE(RenameReplacing(t / "new", t / c.target, c.keep));
    struct stat st;
    ASSERT_EQ(stat(NativePath(t / c.target).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, c.mode);
    EXPECT_EQ(ReadFileBytes(NativePath(t / c.target)), c.target);
    chmod((t / "Tool").c_str(), 0751);
  }
  EXPECT_FALSE(fs::exists(t / "tool"));
}

TEST(Files, CreateRenameCopyDelete) {
  TempFolder t;
  fs::create_directories(t / "Root");
  EXPECT_TRUE(ForceDirectories(t.Path() + "\\root\\_Temp\\a\\B\\"));
  EXPECT_TRUE(fs::is_directory(t / "Root/_Temp/a/B"));
  EXPECT_TRUE(ForceDirectories(t / "ROOT/_temp"));  // exists under another case
  EXPECT_FALSE(fs::exists(t / "ROOT"));
  EXPECT_THROW(ForceDirectories(""), EInOutError);
  EXPECT_FALSE(CreateDir(t / "root"));
  EXPECT_TRUE(RemoveDir(t / "root/_TEMP/A/b"));

  WriteFileBytes(t / "Root/update.ini", "new");
  WriteFileBytes(t / "Root/update.OLD", "old");
  EXPECT_FALSE(RenameFile(t / "root/update.ini", t / "root/UPDATE.old"));  // the target exists
  EXPECT_EQ(ReadFileBytes(t / "Root/update.OLD"), "old");
  EXPECT_TRUE(DeleteFile(t / "root/update.old"));
  EXPECT_TRUE(RenameFile(t / "root/update.ini", t / "root/update.OLD"));
  EXPECT_EQ(ReadFileBytes(t / "Root/update.OLD"), "new");
  EXPECT_FALSE(DeleteFile(t / "Root/update.ini"));
  EXPECT_FALSE(DeleteFile(t / "Root"));  // folders go through RemoveDir

  WriteFileBytes(t / "Root/prog", std::string(300000, 'p'));
  chmod((t / "Root/prog").c_str(), 0751);
  WriteFileBytes(t / "Root/copy", "short");
  EXPECT_FALSE(CopyFile(t / "root/PROG", t / "root/copy", true));
  EXPECT_EQ(ReadFileBytes(t / "Root/copy"), "short");
  EXPECT_TRUE(CopyFile(t / "root/PROG", t / "root/COPY", false));  // replaces Root/copy
  EXPECT_EQ(ReadFileBytes(t / "Root/copy"), std::string(300000, 'p'));
  struct stat st;
  ASSERT_EQ(stat((t / "Root/copy").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0751u);
  EXPECT_EQ(fs::last_write_time(t / "Root/copy"), fs::last_write_time(t / "Root/prog"));
  EXPECT_FALSE(CopyFile(t / "Root/missing", t / "Root/x", false));
  for (const auto& e : fs::directory_iterator(t / "Root"))  // no temporaries left behind
    EXPECT_EQ(e.path().filename().string().find(".copy"), std::string::npos) << e.path();

  const std::string here = GetCurrentDir();
  EXPECT_TRUE(SetCurrentDir(t.Path() + "\\ROOT"));
  EXPECT_EQ(GetCurrentDir(), t / "Root");
  EXPECT_TRUE(FileExists("PROG"));
  EXPECT_FALSE(SetCurrentDir(t / "nothing"));
  ASSERT_TRUE(SetCurrentDir(here));
}

// ---- Code pages ----

// What Python's codec makes of a text (as a hex string of bytes), or decodes from bytes.
std::string Python(const std::string& Code) {
  std::string out;
  FILE* p = popen(("python3 -c '" + Code + "'").c_str(), "r");
  if (!p) return out;
  char buf[4096];
  for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
  pclose(p);
  return out;
}

std::string Hex(std::string_view Bytes) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (unsigned char c : Bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

TEST(CodePages, Cp949AgreesWithPythonsCodecAndReplacesWhatItCannotConvert) {
  TEncoding* korean = TEncoding::GetEncoding(949);
  EXPECT_EQ(korean->CodePage(), 949);
  EXPECT_EQ(TEncoding::GetEncoding(949), korean);
  // Hangul of the common set and of the extended one (two-byte codes with a lead byte
  // below 0xA1), mixed with ASCII.
  const std::string text = "EDTNAME|이름을 입력하세요 (똠방각하, 쀍) 123";
  const std::string bytes = korean->GetBytes(text);
  EXPECT_EQ(Hex(bytes), Python("import sys; sys.stdout.write(\"" + text + "\".encode(\"cp949\").hex())"));
  EXPECT_EQ(korean->GetString(bytes), text);
  // Bytes that are no character: U+FFFD each, and the text goes on.
  EXPECT_EQ(korean->GetString("a\xff" "b\xb0"), "a\xEF\xBF\xBD" "b\xEF\xBF\xBD");
  // Characters the code page lacks: "?".
  EXPECT_EQ(korean->GetBytes("x\xF0\x9F\x98\x80y"), "x?y");
  EXPECT_EQ(TEncoding::UTF8()->GetString("\xEA\xB0\x80"), "\xEA\xB0\x80");
  EXPECT_THROW(TEncoding::GetEncoding(999999), EEncodingError);
}

// glibc's CP949 takes in A2 E8 before it refuses it; other refusals stop in front of the
// sequence. Either way one replacement stands for the sequence and what follows is kept.
TEST(CodePages, RefusedSequencesAreReplacedOnceInBothDirections) {
  TEncoding* korean = TEncoding::GetEncoding(949);
  const std::string bad = "\xEF\xBF\xBD";
  const struct { bool toBytes; std::string in, out; } cases[] = {
      {false, "\xA2\xE8", bad},                          // taken in and refused, the whole input
      {false, "a\xA2\xE8" "b", "a" + bad + "b"},            // ... in the middle
      {false, "\xA2\xE8\xA2\xE8\xB0 ", bad + bad + bad + " "},  // ... twice, then one refused in front
      {false, "a\xB0", "a" + bad},                         // a lead byte at the very end
      {false, "\xB0" "1\xB0\xA1", bad + "1\xEA\xB0\x80"},    // a lead byte before a character
      {true, "x\xEA\xB0", "x?"},                           // cut off at the very end
      {true, "x\xEA" "Ay", "x?Ay"},                         // cut off in the middle
      {true, "\x80\xBF" "a", "??a"},                        // stray continuation bytes
  };
  for (const auto& c : cases)
    EXPECT_EQ(Hex(c.toBytes ? korean->GetBytes(c.in) : korean->GetString(c.in)), Hex(c.out)) << Hex(c.in);
}

}  // namespace
