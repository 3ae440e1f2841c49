// The ANSI and OEM code pages on POSIX.
//
// The ANSI code page is the locale's charset, read once (on first use) with
// nl_langinfo(CODESET); the program calls setlocale(LC_ALL, "") before anything here runs, and
// a later setlocale does not change the answer. The C and POSIX locales count as UTF-8: their
// ASCII could not hold the program's Russian messages, and names pass through untouched anyway.
//
// The OEM code page is UTF-8 beside a UTF-8 ANSI page (as Windows in its UTF-8 mode); beside a
// legacy 8-bit page it is the DOS page of the locale's language: 866 for Russian, Ukrainian and
// Belarusian, 850 for the Western European languages, 437 for the rest.
//
// Conversions go through iconv. A character that the target cannot hold, or bytes that are not
// valid in the source, become one "?" each, and the conversion goes on after them. If iconv
// does not know the locale's charset at all, the text passes through unchanged (losing nothing
// is better than turning every letter into "?").
#include <iconv.h>
#include <langinfo.h>

#include <cerrno>
#include <clocale>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/locale.h"
#include "platform/platform.h"

namespace platform {
namespace {

constexpr const char* kUtf8 = "UTF-8";
constexpr char kRussianAlphabet[] =
    "АБВГДЕЁЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯабвгдеёжзийклмнопрстуфхцчшщъыьэюя";

bool IsUtf8Name(std::string_view charset) {
  return charset == "UTF-8" || charset == "utf-8" || charset == "UTF8" || charset == "utf8" ||
         charset == "ANSI_X3.4-1968" || charset.empty();
}

// The language part of a locale name: "ru" of "ru_RU.CP1251@euro".
std::string LocaleLanguage() {
  const char* name = std::setlocale(LC_CTYPE, nullptr);
  if (name == nullptr) return {};
  std::string_view text(name);
  return std::string(text.substr(0, text.find_first_of("_.@")));
}

std::string OemCharsetOfLanguage(const std::string& language) {
  static const char* const kCyrillic866[] = {"ru", "uk", "be"};
  static const char* const kWestern850[] = {"de", "fr", "es", "it", "pt", "nl", "da", "sv",
                                            "no", "nb", "nn", "fi", "is", "ca", "eu", "gl",
                                            "ga", "br", "oc", "lb", "fo", "af", "wa"};
  for (const char* code : kCyrillic866) {
    if (language == code) return "CP866";
  }
  for (const char* code : kWestern850) {
    if (language == code) return "CP850";
  }
  return "CP437";
}

struct Charsets {
  std::string ansi;  // empty: UTF-8
  std::string oem;   // empty: UTF-8
};

const Charsets& CurrentCharsets() {
  static const Charsets charsets = [] {
    Charsets result;
    const char* codeset = nl_langinfo(CODESET);
    if (codeset != nullptr && !IsUtf8Name(codeset)) {
      result.ansi = codeset;
      result.oem = OemCharsetOfLanguage(LocaleLanguage());
    }
    return result;
  }();
  return charsets;
}

// Size of the UTF-8 sequence at the start of `text`, or 1 when it is not a valid one.
size_t Utf8SequenceLength(const char* text, size_t available) {
  const auto lead = static_cast<unsigned char>(text[0]);
  size_t size = 1;
  if (lead >= 0xC2 && lead <= 0xDF) {
    size = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    size = 3;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    size = 4;
  }
  if (size > available) return 1;
  for (size_t i = 1; i < size; ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) return 1;
  }
  return size;
}

// iconv descriptors are costly to open and not safe to share between threads: each thread keeps
// the few it has used.
class Converter {
 public:
  Converter(std::string from, std::string to)
      : from_(std::move(from)), to_(std::move(to)), cd_(iconv_open(to_.c_str(), from_.c_str())) {}
  ~Converter() {
    if (IsOpen()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  bool Is(const std::string& from, const std::string& to) const {
    return from == from_ && to == to_;
  }
  bool IsOpen() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  std::string Convert(std::string_view text) {
    std::string result;
    result.reserve(text.size() + text.size() / 2);
    const bool from_utf8 = IsUtf8Name(from_);
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);

    char* in = const_cast<char*>(text.data());
    size_t in_left = text.size();
    char buffer[4096];
    while (in_left > 0) {
      char* out = buffer;
      size_t out_left = sizeof(buffer);
      const size_t done = iconv(cd_, &in, &in_left, &out, &out_left);
      const int error = errno;
      const bool produced = out != buffer;
      result.append(buffer, out - buffer);
      if (done != static_cast<size_t>(-1) || (error == E2BIG && produced)) continue;
      // An invalid or unconvertible character (EILSEQ), a sequence cut off at the end (EINVAL),
      // or anything unexpected: one "?" for it, then go on after it. Every turn of this branch
      // consumes input, so the loop always ends.
      result += '?';
      const size_t skip = from_utf8 ? Utf8SequenceLength(in, in_left) : 1;
      in += skip;
      in_left -= skip;
      iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    }
    char* out = buffer;
    size_t out_left = sizeof(buffer);
    iconv(cd_, nullptr, nullptr, &out, &out_left);
    result.append(buffer, out - buffer);
    return result;
  }

 private:
  std::string from_;
  std::string to_;
  iconv_t cd_;
};

std::string Convert(std::string_view text, const std::string& from, const std::string& to) {
  thread_local std::vector<std::unique_ptr<Converter>> converters;
  Converter* converter = nullptr;
  for (auto& candidate : converters) {
    if (candidate->Is(from, to)) converter = candidate.get();
  }
  if (converter == nullptr) {
    converters.push_back(std::make_unique<Converter>(from, to));
    converter = converters.back().get();
  }
  if (!converter->IsOpen()) return std::string(text);
  return converter->Convert(text);
}

}  // namespace

bool AnsiIsUtf8() { return CurrentCharsets().ansi.empty(); }

std::string Utf8ToAnsi(std::string_view text) {
  const Charsets& charsets = CurrentCharsets();
  if (charsets.ansi.empty()) return std::string(text);
  return Convert(text, kUtf8, charsets.ansi);
}

std::string AnsiToUtf8(std::string_view text) {
  const Charsets& charsets = CurrentCharsets();
  if (charsets.ansi.empty()) return std::string(text);
  return Convert(text, charsets.ansi, kUtf8);
}

bool AnsiHoldsCyrillic() {
  static const bool holds = [] {
    const std::string_view letters = kRussianAlphabet;
    return AnsiIsUtf8() || AnsiToUtf8(Utf8ToAnsi(letters)) == letters;
  }();
  return holds;
}

bool RunTextIsUtf8() { return AnsiIsUtf8() || !AnsiHoldsCyrillic(); }

bool OemIsUtf8() { return CurrentCharsets().oem.empty(); }

std::string Utf8ToOem(std::string_view text) {
  const Charsets& charsets = CurrentCharsets();
  if (charsets.oem.empty()) return std::string(text);
  return Convert(text, kUtf8, charsets.oem);
}

std::string OemToUtf8(std::string_view text) {
  const Charsets& charsets = CurrentCharsets();
  if (charsets.oem.empty()) return std::string(text);
  return Convert(text, charsets.oem, kUtf8);
}

}  // namespace platform
