// The Descript.ion reader and writer. For any bytes the reader gives entries with a name that is
// not empty, no line end in a name or a description, no two names alike (letter case ignored)
// and no blank at either end of a description (a quoted name may begin with one); what the writer
// makes of those entries reads back as the same entries, and writing them again gives the same
// bytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_set>

#include "fileio/orvDescriptIon.h"
#include "fuzz/fuzz_support.h"
#include "support/ov_strings.h"
#include "support/ov_unicode.h"

namespace {

bool HasLineEnd(const std::u16string& text) {
  return text.find_first_of(u"\r\n") != std::u16string::npos;
}

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

void CheckEntries(const quern::DescriptIonEntries& entries) {
  FUZZ_CHECK(entries.names.size() == entries.descriptions.size());
  std::unordered_set<std::string> keys;
  for (size_t i = 0; i < entries.names.size(); ++i) {
    const std::u16string& name = entries.names[i];
    const std::u16string& description = entries.descriptions[i];
    FUZZ_CHECK(!name.empty());
    FUZZ_CHECK(!HasLineEnd(name) && !HasLineEnd(description));
    FUZZ_CHECK(description.empty() ||
               (!IsBlank(description.front()) && !IsBlank(description.back())));
    FUZZ_CHECK(keys.insert(support::UpperCase(support::Utf8FromUtf16(name))).second);
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::SetUpLocale();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const quern::DescriptIonEntries entries = quern::ParseDescriptIonText(fuzz::AsChars(data, size));
  CheckEntries(entries);
  const std::string written = quern::DescriptIonTextOf(entries);
  const quern::DescriptIonEntries again = quern::ParseDescriptIonText(written);
  FUZZ_CHECK(again.utf8_with_mark == entries.utf8_with_mark);
  FUZZ_CHECK(again.names == entries.names);
  FUZZ_CHECK(again.descriptions == entries.descriptions);
  FUZZ_CHECK(quern::DescriptIonTextOf(again) == written);
  return 0;
}
