// The check before the run: every syntax and naming error is found, placed by line and column,
// described in Russian, and nothing runs when the script has one.
#include <string>

#include "loom_test_support.h"

namespace loom_test {
namespace {

struct BadScript {
  const char* name;
  std::string text;
  int line;
  int column;
  const char* fragment;  // a piece the description must hold
};

void PrintTo(const BadScript& bad, std::ostream* out) { *out << bad.name; }

class CheckErrorTest : public ScriptTest, public ::testing::WithParamInterface<BadScript> {};

TEST_P(CheckErrorTest, IsReportedAtItsPlaceBeforeAnyCall) {
  const BadScript& bad = GetParam();
  // A good statement first: it must not run either.
  ASSERT_TRUE(Load("cleaner.done\n" + bad.text));
  EXPECT_FALSE(engine_.Run());
  EXPECT_TRUE(calls().empty());
  EXPECT_EQ(error().Line, bad.line + 1);
  EXPECT_EQ(error().Column, bad.column);
  EXPECT_EQ(error().FileName, path_);
  const std::string prefix = "Ошибка в скрипте \"" + path_ + "\", строка " +
                             std::to_string(bad.line + 1) + ", столбец " +
                             std::to_string(bad.column) + ": ";
  EXPECT_EQ(error().Description.rfind(prefix, 0), 0u) << error().Description;
  EXPECT_NE(error().Description.find(bad.fragment), std::string::npos) << error().Description;
  EXPECT_EQ(error().Description.find('\n'), std::string::npos);
  // Without a catalogue (the C locale of the tests) the user's form is the program's own text.
  EXPECT_EQ(error().ShownDescription, error().Description);
}

// Columns: "cleaner" is 1-7, "." 8, the member starts at 9; "cleaner.begin-group = " puts a
// value at 23, "cleaner.by-age-set-days = " at 27.
INSTANTIATE_TEST_SUITE_P(
    Syntax, CheckErrorTest,
    ::testing::Values(
        BadScript{"UnexpectedCharacter", "@cleaner.done\n", 1, 1, "неожиданный символ \"@\""},
        BadScript{"UnexpectedNonAscii", "cleaner.done\xC3\xA9\n", 1, 13,
                  "лишний текст после команды, начиная с символа \"\xC3\xA9\""},
        BadScript{"LoneSlash", "  / not a comment\n", 1, 3, "неожиданный символ \"/\""},
        BadScript{"UnterminatedString", "  cleaner.begin-group = \"abc\n", 1, 25,
                  "незакрытая кавычка"},
        BadScript{"StringCannotSpanLines", "cleaner.begin-group = \"ab\r\ncd\"\n", 1, 23,
                  "незакрытая кавычка"},
        BadScript{"MissingValue", "cleaner.begin-group =\n", 1, 22,
                  "ожидается значение после \"=\""},
        BadScript{"MissingValueBeforeComment", "cleaner.begin-group = # x\n", 1, 23,
                  "ожидается значение после \"=\""},
        BadScript{"MissingValueAtEndOfFile", "cleaner.begin-group = ", 1, 23,
                  "ожидается значение после \"=\""},
        BadScript{"MissingMember", "cleaner.\n", 1, 9, "ожидается имя члена после \".\""},
        BadScript{"MissingDot", "cleaner\n", 1, 8, "ожидается \".\""},
        BadScript{"SpaceInsteadOfDot", "cleaner done\n", 1, 9, "неожиданный символ \"d\""},
        BadScript{"ExtraText", "cleaner.done now\n", 1, 14, "лишний текст после команды"},
        BadScript{"ExtraTextAfterValue", "cleaner.begin-group = \"a\" \"b\"\n", 1, 27,
                  "лишний текст после команды"},
        BadScript{"ThirdName", "cleaner.done.more\n", 1, 13, "лишний текст после команды"},
        BadScript{"UnclosedParenthesis", "cleaner.done(\n", 1, 14, "ожидается \")\""},
        BadScript{"BadNumber", "cleaner.by-age-set-days = 30days\n", 1, 27,
                  "неверное число \"30days\""},
        BadScript{"BareSign", "cleaner.by-age-set-days = -\n", 1, 27, "неверное число \"-\""},
        BadScript{"NumberBeyondDouble", "cleaner.begin-group = 1e999\n", 1, 23,
                  "вне допустимого диапазона"},
        BadScript{"UnknownWord", "cleaner.delete-to-recycle-bin = yes\n", 1, 33,
                  "неверное значение \"yes\""},
        BadScript{"NulOutsideString", std::string("cleaner.done\0\n", 14), 1, 13,
                  "управляющий символ (код 0x00)"},
        BadScript{"ControlCharacterInComment", "# note \x01 here\n", 1, 8,
                  "управляющий символ (код 0x01)"},
        BadScript{"NulInsideString", std::string("cleaner.begin-group = \"a\0b\"\n", 28), 1, 25,
                  "нулевой байт"},
        BadScript{"ColumnsCountCharactersNotBytes", "cleaner.begin-group = \"жж\" x\n", 1, 28,
                  "лишний текст"}));

INSTANTIATE_TEST_SUITE_P(
    Names, CheckErrorTest,
    ::testing::Values(
        BadScript{"UnknownObject", "\t cleanr.done\n", 1, 3, "неизвестный объект \"cleanr\""},
        BadScript{"ObjectNamesAreCaseSensitive", "Cleaner.done\n", 1, 1, "неизвестный объект"},
        BadScript{"UnknownMember", "cleaner.delete-filez = \"x\"\n", 1, 9,
                  "неизвестный член \"delete-filez\" объекта \"cleaner\""},
        BadScript{"MemberNamesAreCaseSensitive", "cleaner.Done\n", 1, 9, "неизвестный член"},
        BadScript{"FunctionAssigned", "cleaner.done = 1\n", 1, 9,
                  "\"done\" — функция объекта \"cleaner\", ей нельзя присвоить значение"},
        BadScript{"PropertyCalled", "cleaner.begin-group\n", 1, 9,
                  "свойство объекта \"cleaner\", его нельзя вызвать как функцию"},
        BadScript{"PropertyCalledWithParentheses", "cleaner.begin-group()\n", 1, 9,
                  "его нельзя вызвать как функцию"}));

INSTANTIATE_TEST_SUITE_P(
    ValueKinds, CheckErrorTest,
    ::testing::Values(
        BadScript{"TextForNumber", "cleaner.by-age-set-days = \"abc\"\n", 1, 27,
                  "значение \"abc\" не подходит для свойства \"by-age-set-days\" объекта "
                  "\"cleaner\": нужно число"},
        BadScript{"TruthValueForNumber", "cleaner.by-age-set-days = True\n", 1, 27, "нужно число"},
        BadScript{"NumberTooLarge", "cleaner.by-age-set-days = 2147483648\n", 1, 27,
                  "число 2147483648 вне допустимого диапазона"},
        BadScript{"HalfRoundsUpToEvenOutOfRange", "cleaner.by-age-set-days = 2147483647.5\n", 1, 27,
                  "вне допустимого диапазона"},
        BadScript{"HugeNumber", "cleaner.by-age-set-days = 1e300\n", 1, 27,
                  "вне допустимого диапазона"},
        BadScript{"NumberTooSmall", "cleaner.by-age-set-days = -2147483649\n", 1, 27,
                  "вне допустимого диапазона"},
        BadScript{"TextNumberTooLarge", "cleaner.by-age-set-days = \"1e10\"\n", 1, 27,
                  "вне допустимого диапазона"},
        BadScript{"WordForTruthValue", "cleaner.delete-to-recycle-bin = \"yes\"\n", 1, 33,
                  "нужно True, False или число"}));

TEST_F(ScriptTest, ABadLastLineStopsAHundredThousandGoodOnes) {
  std::string script;
  for (int i = 0; i < 100000; ++i) script += "cleaner.done\n";
  script += "cleaner.by-age-set-days = \"soon\"\n";
  EXPECT_FALSE(Run(script));
  EXPECT_TRUE(calls().empty());
  EXPECT_EQ(error().Line, 100001);
}

TEST_F(ScriptTest, ValuesAtTheEdgesOfTheirKindPass) {
  ASSERT_TRUE(
      Run("cleaner.by-age-set-days = 2147483647\n"
          "cleaner.by-age-set-days = -2147483648.5\n"  // rounds to the even -2147483648
          "cleaner.by-age-set-days = 2147483646.5\n"   // rounds down to even
          "cleaner.by-age-set-days = \" 42 \"\n"
          "cleaner.delete-to-recycle-bin = \" tRuE \"\n"
          "cleaner.delete-to-recycle-bin = \"0\"\n"
          "cleaner.delete-to-recycle-bin = 2.5\n"
          "cleaner.begin-group = 1e300\n"
          "cleaner.begin-group = TRUE\n"))
      << error().Description;
  EXPECT_EQ(calls().size(), 9u);
}

TEST_F(ScriptTest, FileNameInTheDescriptionIsAsGiven) {
  WriteScript("cleaner.nope\n", "b.loom");
  ASSERT_TRUE(engine_.Objects().Add(object_));
  const std::string relative = std::filesystem::relative(dir_ + "/b.loom").string();
  ASSERT_TRUE(engine_.Script().LoadFromFile(relative));
  EXPECT_FALSE(engine_.Run());
  EXPECT_EQ(error().Description, "Ошибка в скрипте \"" + relative +
                                     "\", строка 1, столбец 9: неизвестный член \"nope\" "
                                     "объекта \"cleaner\"");
}

}  // namespace
}  // namespace loom_test
