#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/ov_messages.h"

namespace {

// Values are put in as they stand: a "%s" inside one (a file name may hold it) is never a place
// for the next value, and places without a value stay.
TEST(Messages, FillPutsValuesInOnceAndInOrder) {
  EXPECT_EQ(support::Fill("журнал \"%s\" не записан: %s", {"/tmp/100%s.LOG", "диск заполнен"}),
            "журнал \"/tmp/100%s.LOG\" не записан: диск заполнен");
  EXPECT_EQ(support::Fill("%s%s", std::vector<std::string>{"%s", "x"}), "%sx");
  EXPECT_EQ(support::Fill("a %s b %s", {"1"}), "a 1 b %s");
  EXPECT_EQ(support::Fill("no place", {"1"}), "no place");
}

// Without a catalogue for the language (these tests bind none) a text is its own message, and
// the empty text never turns into the catalogue's header.
TEST(Messages, TrKeepsTextsWithoutATranslation) {
  support::InitializeMessages();
  EXPECT_EQ(support::Tr("Файл не найден"), "Файл не найден");
  EXPECT_EQ(support::Tr("/home/user/a.tmp"), "/home/user/a.tmp");
  EXPECT_EQ(support::Tr(""), "");
}

}  // namespace
