// The Loomscript scanner and parser: turns script text into statements, one line at a time.
// Private to the engine. The parser keeps no statements: the engine walks the text twice
// (check, then run), so a large script costs no more memory than its longest line.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>

#include "loom/loom.h"

namespace loom::detail {

// One statement: OBJECT.MEMBER, OBJECT.MEMBER() or OBJECT.MEMBER = VALUE.
struct Statement {
  std::string_view object;  // views into the parsed text
  std::string_view member;
  bool is_assignment = false;
  Value value;                    // the literal's value (assignments only)
  std::string_view value_text;    // the literal as written, quotes included
  std::size_t object_offset = 0;  // byte offsets into the text, for error positions
  std::size_t member_offset = 0;
  std::size_t value_offset = 0;
};

// A message in its two forms: `stored`, the program's own (Russian) text, which is what a log
// keeps and what callers compare; `shown`, the same in the user's language, for the console.
struct Text {
  std::string stored;
  std::string shown;
  bool empty() const { return stored.empty(); }
};

// A value put into a message: verbatim text (a name, a number, a piece of the script) reads the
// same in both forms; a message put into another brings its own form to each.
struct Part {
  Part(const char* verbatim) : stored(verbatim), shown(verbatim) {}
  Part(std::string_view verbatim) : stored(verbatim), shown(verbatim) {}
  Part(const std::string& verbatim) : stored(verbatim), shown(verbatim) {}
  Part(const Text& text) : stored(text.stored), shown(text.shown) {}
  std::string stored;
  std::string shown;
};

// `message` (one of the program's texts, marked with N_ for the catalogue) with each "%s"
// filled by the next of `values`: as it stands for `stored`, translated for `shown`. The values
// go in after the translation, so a "%s" inside a name is never taken for a place of another.
Text Compose(std::string_view message, std::initializer_list<Part> values = {});

// Something wrong with the script: where (a byte offset into the text) and what.
struct Problem {
  std::size_t offset = 0;
  Text message;  // without the position
};

enum class ParseResult { kStatement, kEnd, kError };

class Parser {
 public:
  explicit Parser(std::string_view text) : text_(text) {}

  // Reads up to the next statement, skipping blank and comment lines. kError leaves the parser
  // where it stopped; a caller is expected to give up on the script then.
  ParseResult Next(Statement& statement, Problem& error);

 private:
  bool AtLineEnd() const;
  bool AtComment(std::size_t offset) const;
  void SkipBlanks();
  // Skips blanks, a trailing comment and the line break; false (with `error`: the message
  // `stray_text_message` with its "%s" filled by the character found) when something else is
  // left on the line.
  bool FinishLine(Problem& error, const char* stray_text_message);
  void SkipLineBreak();
  bool ParseName(std::string_view& name);
  bool ParseValue(Statement& statement, Problem& error);
  bool ParseString(Statement& statement, Problem& error);
  bool ParseNumber(Statement& statement, Problem& error);
  bool ParseWord(Statement& statement, Problem& error);
  // `what_was_expected` is a message of its own (marked with N_), translated as a whole.
  Problem Unexpected(std::size_t offset, const char* what_was_expected) const;

  std::string_view text_;
  std::size_t pos_ = 0;
};

// `text` made fit for a one-line message: control characters and bytes that are not UTF-8
// become "?", and text beyond `max_characters` is cut off with an ellipsis.
std::string ShowInMessage(std::string_view text, std::size_t max_characters = 40);

// The character at `offset` shown for a message: the UTF-8 character itself, or a byte code
// for control characters and bytes that are not UTF-8.
Text DescribeCharacter(std::string_view text, std::size_t offset);

// 1-based line and column of the byte `offset`; lines end at LF, CR LF or a lone CR, columns
// count characters (UTF-8 sequences), not bytes.
struct TextPosition {
  int line = 1;
  int column = 1;
};
TextPosition Locate(std::string_view text, std::size_t offset);

}  // namespace loom::detail
