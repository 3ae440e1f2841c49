// A hand-written scanner and parser for Loomscript: one function per grammar rule, no
// recursion, one pass over each line.
//
//   line       = blanks [statement] blanks [comment] line-end
//   statement  = name blanks "." blanks name blanks [ "(" blanks ")" | "=" blanks value ]
//   value      = string | number | word            (word: True or False, any letter case)
//   comment    = ("#" | "//") any characters up to the line end
//   line-end   = LF | CR LF | CR | end of text
#include "loom/parser.h"

#include <charconv>
#include <cstdio>
#include <vector>

#include "support/ov_messages.h"
#include "support/ov_strings.h"

namespace loom::detail {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

bool IsNameChar(char c) { return IsLetter(c) || IsDigit(c) || c == '_' || c == '-'; }

// A control character (other than a tab) has no place in script text; finding one usually
// means the file is binary, or UTF-16 without a byte-order mark.
bool IsControl(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return (byte < 0x20 && c != '\t') || byte == 0x7F;
}

// Length of the UTF-8 sequence starting at `offset`, or 0 when the bytes there are not one.
std::size_t Utf8SequenceLength(std::string_view text, std::size_t offset) {
  const auto lead = static_cast<unsigned char>(text[offset]);
  std::size_t length = 0;
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
  } else {
    return 0;
  }
  if (offset + length > text.size()) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((static_cast<unsigned char>(text[offset + i]) & 0xC0) != 0x80) return 0;
  }
  return length;
}

std::string ByteCode(char c) {
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, "0x%02X", static_cast<unsigned char>(c));
  return buffer;
}

Text ControlCharacterMessage(char c) {
  return Compose(N_("недопустимый управляющий символ (код %s): это не текст скрипта (двоичный "
                    "файл или UTF-16 без метки порядка байтов?)"),
                 {ByteCode(c)});
}

}  // namespace

Text Compose(std::string_view message, std::initializer_list<Part> values) {
  std::vector<std::string> stored, shown;
  for (const Part& value : values) {
    stored.push_back(value.stored);
    shown.push_back(value.shown);
  }
  return {support::Fill(message, stored), support::Fill(support::Tr(message), shown)};
}

std::string ShowInMessage(std::string_view text, std::size_t max_characters) {
  std::string shown;
  std::size_t offset = 0, characters = 0;
  while (offset < text.size() && characters < max_characters) {
    const std::size_t length = Utf8SequenceLength(text, offset);
    if (length == 0 || IsControl(text[offset])) {
      shown += '?';
      ++offset;
    } else {
      shown.append(text.substr(offset, length));
      offset += length;
    }
    ++characters;
  }
  if (offset < text.size()) shown += "…";
  return shown;
}

Text DescribeCharacter(std::string_view text, std::size_t offset) {
  const char c = text[offset];
  if (IsControl(c)) return Compose(N_("с кодом %s"), {ByteCode(c)});
  const std::size_t length = Utf8SequenceLength(text, offset);
  if (length == 0) return Compose(N_("с кодом %s (не UTF-8)"), {ByteCode(c)});
  const std::string quoted = "\"" + std::string(text.substr(offset, length)) + "\"";
  return {quoted, quoted};
}

TextPosition Locate(std::string_view text, std::size_t offset) {
  TextPosition position;
  if (offset > text.size()) offset = text.size();
  for (std::size_t i = 0; i < offset; ++i) {
    const char c = text[i];
    if (c == '\n' || c == '\r') {
      if (c == '\r' && i + 1 < offset && text[i + 1] == '\n') ++i;
      ++position.line;
      position.column = 1;
    } else if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) {
      ++position.column;
    }
  }
  return position;
}

bool Parser::AtLineEnd() const {
  return pos_ >= text_.size() || text_[pos_] == '\n' || text_[pos_] == '\r';
}

void Parser::SkipBlanks() {
  while (pos_ < text_.size() && IsBlank(text_[pos_])) ++pos_;
}

void Parser::SkipLineBreak() {
  if (pos_ < text_.size() && text_[pos_] == '\r') ++pos_;
  if (pos_ < text_.size() && text_[pos_] == '\n') ++pos_;
}

bool Parser::AtComment(std::size_t offset) const {
  return offset < text_.size() &&
         (text_[offset] == '#' ||
          (text_[offset] == '/' && offset + 1 < text_.size() && text_[offset + 1] == '/'));
}

bool Parser::FinishLine(Problem& error, const char* stray_text_message) {
  SkipBlanks();
  if (AtComment(pos_)) {
    // Comments may hold any text, but not control characters: those mean a binary file.
    while (!AtLineEnd() && !IsControl(text_[pos_])) ++pos_;
  }
  if (!AtLineEnd()) {
    error.offset = pos_;
    error.message = IsControl(text_[pos_])
                        ? ControlCharacterMessage(text_[pos_])
                        : Compose(stray_text_message, {DescribeCharacter(text_, pos_)});
    return false;
  }
  SkipLineBreak();
  return true;
}

Problem Parser::Unexpected(std::size_t offset, const char* what_was_expected) const {
  Problem error;
  error.offset = offset;
  if (offset >= text_.size() || text_[offset] == '\n' || text_[offset] == '\r' ||
      AtComment(offset)) {
    error.message = Compose(N_("ожидается %s"), {Compose(what_was_expected)});
  } else if (IsControl(text_[offset])) {
    error.message = ControlCharacterMessage(text_[offset]);
  } else {
    error.message = Compose(N_("неожиданный символ %s, ожидается %s"),
                            {DescribeCharacter(text_, offset), Compose(what_was_expected)});
  }
  return error;
}

bool Parser::ParseName(std::string_view& name) {
  const std::size_t start = pos_;
  while (pos_ < text_.size() && IsNameChar(text_[pos_])) ++pos_;
  name = text_.substr(start, pos_ - start);
  return !name.empty();
}

ParseResult Parser::Next(Statement& statement, Problem& error) {
  for (;;) {
    if (pos_ >= text_.size()) return ParseResult::kEnd;
    SkipBlanks();
    if (AtLineEnd() || text_[pos_] == '#' || text_[pos_] == '/') {
      // A blank or comment line (a lone "/" is reported by FinishLine).
      if (!FinishLine(error, N_("неожиданный символ %s"))) return ParseResult::kError;
      continue;
    }
    break;
  }

  statement = Statement();
  statement.object_offset = pos_;
  if (!ParseName(statement.object)) {
    error = Unexpected(pos_, N_("имя объекта"));
    return ParseResult::kError;
  }
  SkipBlanks();
  if (pos_ >= text_.size() || text_[pos_] != '.') {
    error = Unexpected(pos_, N_("\".\" и имя члена после имени объекта"));
    return ParseResult::kError;
  }
  ++pos_;
  SkipBlanks();
  statement.member_offset = pos_;
  if (!ParseName(statement.member)) {
    error = Unexpected(pos_, N_("имя члена после \".\""));
    return ParseResult::kError;
  }
  SkipBlanks();

  if (pos_ < text_.size() && text_[pos_] == '(') {
    ++pos_;
    SkipBlanks();
    if (pos_ >= text_.size() || text_[pos_] != ')') {
      error = Unexpected(pos_, N_("\")\""));
      return ParseResult::kError;
    }
    ++pos_;
  } else if (pos_ < text_.size() && text_[pos_] == '=') {
    ++pos_;
    SkipBlanks();
    statement.is_assignment = true;
    if (!ParseValue(statement, error)) return ParseResult::kError;
  }
  if (!FinishLine(error, N_("лишний текст после команды, начиная с символа %s"))) {
    return ParseResult::kError;
  }
  return ParseResult::kStatement;
}

bool Parser::ParseValue(Statement& statement, Problem& error) {
  statement.value_offset = pos_;
  const char c = pos_ < text_.size() ? text_[pos_] : '\n';
  if (c == '"') return ParseString(statement, error);
  if (IsDigit(c) || c == '+' || c == '-' || c == '.') return ParseNumber(statement, error);
  if (IsLetter(c)) return ParseWord(statement, error);
  error = Unexpected(pos_, N_("значение после \"=\" (строка в кавычках, число, True или False)"));
  return false;
}

bool Parser::ParseString(Statement& statement, Problem& error) {
  const std::size_t start = pos_;
  std::string value;
  ++pos_;
  for (;;) {
    if (AtLineEnd()) {
      error.offset = start;
      error.message =
          Compose(N_("незакрытая кавычка: текст в кавычках должен закончиться на той же строке"));
      return false;
    }
    const char c = text_[pos_];
    if (c == '\0') {
      // Every system call would cut the text short at a NUL: a path would quietly name a
      // different file. Better to refuse the script.
      error.offset = pos_;
      error.message = Compose(N_("нулевой байт внутри строки"));
      return false;
    }
    if (c == '"') {
      if (pos_ + 1 < text_.size() && text_[pos_ + 1] == '"') {
        value += '"';
        pos_ += 2;
        continue;
      }
      ++pos_;
      break;
    }
    // Copy the run up to the next quote, line end or NUL in one go.
    const std::size_t run_start = pos_;
    while (pos_ < text_.size() && text_[pos_] != '"' && text_[pos_] != '\n' &&
           text_[pos_] != '\r' && text_[pos_] != '\0') {
      ++pos_;
    }
    value.append(text_.substr(run_start, pos_ - run_start));
  }
  statement.value_text = text_.substr(start, pos_ - start);
  statement.value = std::move(value);
  return true;
}

bool Parser::ParseNumber(Statement& statement, Problem& error) {
  const std::size_t start = pos_;
  if (text_[pos_] == '+' || text_[pos_] == '-') ++pos_;
  // Take the whole word-like run so that "30days" is reported as a bad number, not as
  // "30" followed by stray text.
  while (pos_ < text_.size()) {
    const char c = text_[pos_];
    const bool exponent_sign = (c == '+' || c == '-') && pos_ > start &&
                               (text_[pos_ - 1] == 'e' || text_[pos_ - 1] == 'E');
    if (!IsNameChar(c) && c != '.' && !exponent_sign) break;
    if (c == '-' && !exponent_sign) break;
    ++pos_;
  }
  const std::string_view token = text_.substr(start, pos_ - start);
  double number = 0;
  bool out_of_range = false;
  if (!support::ReadDecimal(token, number, &out_of_range)) {
    error.offset = start;
    error.message = out_of_range
                        ? Compose(N_("число %s вне допустимого диапазона"), {ShowInMessage(token)})
                        : Compose(N_("неверное число \"%s\""), {ShowInMessage(token)});
    return false;
  }
  statement.value_text = token;
  statement.value = number;
  return true;
}

bool Parser::ParseWord(Statement& statement, Problem& error) {
  const std::size_t start = pos_;
  while (pos_ < text_.size() && IsNameChar(text_[pos_])) ++pos_;
  const std::string_view word = text_.substr(start, pos_ - start);
  if (support::EqualsIgnoringAsciiCase(word, "true")) {
    statement.value = true;
  } else if (support::EqualsIgnoringAsciiCase(word, "false")) {
    statement.value = false;
  } else {
    error.offset = start;
    error.message =
        Compose(N_("неверное значение \"%s\", ожидается строка в кавычках, число, True или False"),
                {ShowInMessage(word)});
    return false;
  }
  statement.value_text = word;
  return true;
}

}  // namespace loom::detail
