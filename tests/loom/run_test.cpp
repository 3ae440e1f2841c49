// Running a checked script: what the objects receive, and how a failing command stops the run.
#include <string>

#include "loom_test_support.h"

namespace loom_test {
namespace {

using RunTest = ScriptTest;

TEST_F(RunTest, StringsPassAsWrittenWithDoubledQuotesAndPlainBackslashes) {
  ASSERT_TRUE(
      Run("cleaner.begin-group = \"C:\\dir\\\"\"name\"\"\"\n"
          "cleaner.begin-group = \"\"\n"
          "cleaner.begin-group = \"a # b // c\"  # a real comment\n"
          "cleaner.begin-group = \"\xFF\xFE bytes\tkept\"\n"))
      << error().Description;
  ASSERT_EQ(calls().size(), 4u);
  EXPECT_EQ(std::get<std::string>(calls()[0].value), "C:\\dir\\\"name\"");
  EXPECT_EQ(std::get<std::string>(calls()[1].value), "");
  EXPECT_EQ(std::get<std::string>(calls()[2].value), "a # b // c");
  EXPECT_EQ(std::get<std::string>(calls()[3].value), "\xFF\xFE bytes\tkept");
  EXPECT_FALSE(calls()[0].is_function);
  EXPECT_EQ(calls()[0].member, "begin-group");
}

TEST_F(RunTest, NumbersPassAsDoubles) {
  ASSERT_TRUE(
      Run("cleaner.by-age-set-days = 30\n"
          "cleaner.by-age-set-days = -2\n"
          "cleaner.by-age-set-days = 2.5\n"
          "cleaner.by-age-set-days = +3\n"
          "cleaner.by-age-set-days = 1e3 // comment right after\n"
          "cleaner.begin-group = .5\n"))
      << error().Description;
  ASSERT_EQ(calls().size(), 6u);
  const double expected[] = {30, -2, 2.5, 3, 1000, 0.5};
  for (std::size_t i = 0; i < calls().size(); ++i) {
    EXPECT_EQ(std::get<double>(calls()[i].value), expected[i]) << "call " << i;
  }
}

TEST_F(RunTest, TruthValuesInAnyLetterCasePassAsBool) {
  ASSERT_TRUE(
      Run("cleaner.delete-to-recycle-bin = True\n"
          "cleaner.delete-to-recycle-bin = FALSE\n"
          "cleaner.delete-to-recycle-bin = tRuE\n"
          "cleaner.begin-group = false\n"));
  ASSERT_EQ(calls().size(), 4u);
  EXPECT_EQ(std::get<bool>(calls()[0].value), true);
  EXPECT_EQ(std::get<bool>(calls()[1].value), false);
  EXPECT_EQ(std::get<bool>(calls()[2].value), true);
  EXPECT_EQ(std::get<bool>(calls()[3].value), false);
}

TEST_F(RunTest, TextForANumberPropertyStaysText) {
  ASSERT_TRUE(Run("cleaner.by-age-set-days = \"7\"\n"));
  ASSERT_EQ(calls().size(), 1u);
  EXPECT_EQ(std::get<std::string>(calls()[0].value), "7");
}

TEST_F(RunTest, FunctionsRunWithOrWithoutParentheses) {
  ASSERT_TRUE(Run("cleaner.done\ncleaner.done()\n  cleaner . by-mask-clear-masks ( )\t# c\n"));
  ASSERT_EQ(calls().size(), 3u);
  EXPECT_TRUE(calls()[0].is_function);
  EXPECT_EQ(calls()[2].member, "by-mask-clear-masks");
}

TEST_F(RunTest, BlanksAndTabsAroundTokensAreAllowed) {
  ASSERT_TRUE(Run("\t cleaner\t.\tbegin-group\t=\t\"x\"\t \n"));
  ASSERT_EQ(calls().size(), 1u);
  EXPECT_EQ(std::get<std::string>(calls()[0].value), "x");
}

TEST_F(RunTest, StatementsRunInOrderAndRunReportsSuccess) {
  ASSERT_TRUE(Run("cleaner.begin-group = \"one\"\ncleaner.done\ncleaner.begin-group = \"two\"\n"));
  ASSERT_EQ(calls().size(), 3u);
  EXPECT_EQ(std::get<std::string>(calls()[2].value), "two");
  EXPECT_TRUE(error().Description.empty());
}

TEST_F(RunTest, ACommandReturningFalseStopsTheRunWithTheObjectsError) {
  object_->fail_on = "by-age-set-days";
  EXPECT_FALSE(Run("cleaner.done\n\tcleaner.by-age-set-days = 5\ncleaner.done\n"));
  EXPECT_EQ(calls().size(), 2u);  // the third statement never ran
  EXPECT_EQ(error().Line, 2);
  EXPECT_EQ(error().Column, 2);
  EXPECT_EQ(error().Description,
            "Ошибка в скрипте \"" + path_ +
                "\", строка 2, столбец 2: команда cleaner.by-age-set-days не выполнена: "
                "Несоответствие типа (13)");
}

TEST_F(RunTest, ACommandFailingWithoutAReasonStillStopsTheRun) {
  object_->fail_silently_on = "done";
  EXPECT_FALSE(Run("cleaner.done\ncleaner.done\n"));
  EXPECT_EQ(calls().size(), 1u);
  EXPECT_NE(error().Description.find("команда cleaner.done не выполнена"), std::string::npos);
}

TEST_F(RunTest, ARaisedSupportErrorStopsTheRunWithItsNumberAndDescription) {
  object_->raise_on = "delete-files";
  EXPECT_FALSE(Run("cleaner.delete-files = \"/x\"\ncleaner.done\n"));
  EXPECT_EQ(calls().size(), 1u);
  EXPECT_EQ(error().Line, 1);
  EXPECT_NE(error().Description.find(
                "команда cleaner.delete-files не выполнена: Отказано в доступе (70)"),
            std::string::npos)
      << error().Description;
}

TEST_F(RunTest, AForeignExceptionPassesThroughRun) {
  object_->stop_on = "done";
  ASSERT_TRUE(Load("cleaner.begin-group = \"a\"\ncleaner.done\ncleaner.done\n"));
  EXPECT_THROW(engine_.Run(), StopRun);
  EXPECT_EQ(calls().size(), 2u);
}

TEST_F(RunTest, RunCanBeRepeated) {
  ASSERT_TRUE(Run("cleaner.done\n"));
  EXPECT_TRUE(engine_.Run());
  EXPECT_EQ(calls().size(), 2u);
}

TEST_F(RunTest, AVeryLongLinePassesItsWholeValue) {
  const std::string long_value(1 << 20, 'a');
  ASSERT_TRUE(Run("cleaner.begin-group = \"" + long_value + "\"\n"));
  ASSERT_EQ(calls().size(), 1u);
  EXPECT_EQ(std::get<std::string>(calls()[0].value), long_value);
}

TEST_F(RunTest, AVeryLongBadLineGivesAShortDescription) {
  EXPECT_FALSE(Run("cleaner.by-age-set-days = \"" + std::string(1 << 20, '9') + "x\"\n"));
  EXPECT_LT(error().Description.size(), 1000u);
}

TEST_F(RunTest, AHundredThousandStatementsAllRun) {
  std::string script;
  for (int i = 0; i < 100000; ++i)
    script += "cleaner.by-age-set-days = " + std::to_string(i) + "\n";
  ASSERT_TRUE(Run(script));
  ASSERT_EQ(calls().size(), 100000u);
  EXPECT_EQ(std::get<double>(calls().back().value), 99999);
}

// --- Objects -------------------------------------------------------------------------------

class NamedObject : public FakeObject {
 public:
  enum class Registration { kSucceed, kFail, kRaise };
  NamedObject(std::string name, Registration registration)
      : FakeObject(std::move(name)), registration_(registration) {}

  bool Register(loom::ObjectInfo& info) override {
    if (registration_ == Registration::kRaise) throw support::Error(5, "Неверный вызов");
    FakeObject::Register(info);
    return registration_ == Registration::kSucceed;
  }

 private:
  Registration registration_;
};

TEST(ObjectsTest, AddRefusesDuplicateEmptyAndUnwritableNames) {
  loom::ScriptEngine engine;
  using R = NamedObject::Registration;
  EXPECT_TRUE(engine.Objects().Add(std::make_shared<NamedObject>("cleaner", R::kSucceed)));
  EXPECT_FALSE(engine.Objects().Add(std::make_shared<NamedObject>("cleaner", R::kSucceed)));
  EXPECT_FALSE(engine.Objects().Add(std::make_shared<NamedObject>("", R::kSucceed)));
  EXPECT_FALSE(engine.Objects().Add(std::make_shared<NamedObject>("my object", R::kSucceed)));
  EXPECT_FALSE(engine.Objects().Add(nullptr));
}

TEST(ObjectsTest, AddRefusesARegisterThatFailsOrRaises) {
  loom::ScriptEngine engine;
  using R = NamedObject::Registration;
  EXPECT_FALSE(engine.Objects().Add(std::make_shared<NamedObject>("a", R::kFail)));
  EXPECT_FALSE(engine.Objects().Add(std::make_shared<NamedObject>("b", R::kRaise)));
  // Neither left a trace: the names are still free.
  EXPECT_TRUE(engine.Objects().Add(std::make_shared<NamedObject>("a", R::kSucceed)));
  EXPECT_TRUE(engine.Objects().Add(std::make_shared<NamedObject>("b", R::kSucceed)));
}

TEST_F(RunTest, EachObjectReceivesItsOwnStatements) {
  auto second = std::make_shared<FakeObject>("second_2");
  ASSERT_TRUE(engine_.Objects().Add(second));
  auto refused = std::make_shared<FakeObject>("cleaner");
  ASSERT_TRUE(Load("cleaner.done\nsecond_2.begin-group = \"b\"\ncleaner.done\n"));
  EXPECT_FALSE(engine_.Objects().Add(refused));
  ASSERT_TRUE(engine_.Run()) << error().Description;
  EXPECT_EQ(calls().size(), 2u);
  ASSERT_EQ(second->calls.size(), 1u);
  EXPECT_EQ(second->calls[0].member, "begin-group");
  EXPECT_TRUE(refused->calls.empty());
}

}  // namespace
}  // namespace loom_test
