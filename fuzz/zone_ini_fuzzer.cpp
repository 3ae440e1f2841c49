// The INI reader and editor behind a file's zone (the "Zone.Identifier" stream), with a
// read-modify-write round trip. The input is taken apart as
//   byte 0: the length of the section name, byte 1 of the key, byte 2 of the value,
//   then the section, the key and the value (bytes), then the INI text itself.
//
// For any text and names:
// - the readers agree with each other (a key is present exactly when it has a value);
// - a write the editor accepts reads back as the value written (less the blanks at its ends
//   and one pair of matching quotes, as the profile functions read values), and leaves every
//   other key of the text as it was;
// - after a delete the key is gone, and other keys are as they were;
// - the zone itself (ZoneTransfer / ZoneId) written as a number reads back as that number.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "fuzz/fuzz_support.h"
#include "support/ov_ini.h"
#include "support/ov_strings.h"

namespace {

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// The value the readers give for a value written as `value`.
std::string AsRead(std::string_view value) {
  value = TrimBlanks(value);
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  return std::string(value);
}

bool SameName(std::string_view a, std::string_view b) {
  return support::UpperCase(TrimBlanks(a)) == support::UpperCase(TrimBlanks(b));
}

void CheckReaders(std::string_view text, std::string_view section, std::string_view key) {
  const std::optional<std::string> value = support::ReadIniValue(text, section, key);
  FUZZ_CHECK(support::IsIniKeyPresent(text, section, key) == value.has_value());
  const int32_t number = support::ReadIniInteger(text, section, key, 12345);
  if (!value || value->empty()) FUZZ_CHECK(number == 12345);
}

// Another key, in the same section and in another: its value before an edit of (section, key).
struct Witness {
  std::string section;
  std::string key;
  std::optional<std::string> value;
};

void CheckWitness(const std::string& text, const Witness& witness) {
  FUZZ_CHECK(support::ReadIniValue(text, witness.section, witness.key) == witness.value);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::SetUpLocale();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  size_t lengths[3] = {data[0] % 16u, data[1] % 16u, data[2] % 32u};
  data += 3;
  size -= 3;
  std::string_view parts[3];
  for (int i = 0; i < 3; ++i) {
    const size_t length = lengths[i] < size ? lengths[i] : size;
    parts[i] = fuzz::AsChars(data, length);
    data += length;
    size -= length;
  }
  const std::string_view section = parts[0], key = parts[1], value = parts[2];
  const std::string original(fuzz::AsChars(data, size));

  CheckReaders(original, section, key);
  CheckReaders(original, "ZoneTransfer", "ZoneId");

  // Witnesses: the zone key, and the key of the value's name in the same section.
  const std::string other_key = std::string(TrimBlanks(value.substr(0, value.find('='))));
  Witness witnesses[] = {{"ZoneTransfer", "ZoneId", {}},
                         {std::string(section), other_key, {}},
                         {"ZoneTransfer", std::string(key), {}}};
  for (Witness& witness : witnesses) {
    witness.value = support::ReadIniValue(original, witness.section, witness.key);
  }
  auto unaffected = [&](const Witness& witness) {
    return !(SameName(witness.section, section) && SameName(witness.key, key));
  };

  std::string text = original;
  if (support::WriteIniValue(&text, section, key, value)) {
    FUZZ_CHECK(support::ReadIniValue(text, section, key) == AsRead(value));
    for (const Witness& witness : witnesses) {
      if (unaffected(witness)) CheckWitness(text, witness);
    }
    // Deleting it again: the key is gone, the others stay.
    FUZZ_CHECK(support::DeleteIniKey(&text, section, key));
    FUZZ_CHECK(!support::IsIniKeyPresent(text, section, key));
    for (const Witness& witness : witnesses) {
      if (unaffected(witness)) CheckWitness(text, witness);
    }
  } else {
    FUZZ_CHECK(text == original);  // a refused write changes nothing
  }

  // The zone, as SetFileZone and GetFileZone use it.
  text = original;
  const int32_t zone = static_cast<int32_t>(static_cast<int8_t>(lengths[2])) - 8;
  FUZZ_CHECK(support::WriteIniValue(&text, "ZoneTransfer", "ZoneId", std::to_string(zone)));
  FUZZ_CHECK(support::ReadIniInteger(text, "ZoneTransfer", "ZoneId", 0) == zone);
  FUZZ_CHECK(support::IsIniKeyPresent(text, "ZoneTransfer", "ZoneId"));
  std::string deleted = text;
  FUZZ_CHECK(support::DeleteIniKey(&deleted, "ZoneTransfer", "ZoneId"));
  FUZZ_CHECK(!support::IsIniKeyPresent(deleted, "ZoneTransfer", "ZoneId"));
  return 0;
}
