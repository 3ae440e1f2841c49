// Running a script: check every statement against the registered objects, then execute them.
//
// The text is parsed twice rather than kept as a statement list: a 16 MiB script of tiny
// statements would otherwise cost hundreds of megabytes, and parsing is cheap and linear.
#include <cmath>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "loom/loom.h"
#include "loom/parser.h"
#include "support/ov_error.h"
#include "support/ov_messages.h"
#include "support/ov_numbers.h"
#include "support/ov_strings.h"

namespace loom {
namespace {

using detail::Compose;
using detail::ParseResult;
using detail::ShowInMessage;
using detail::Statement;
using detail::Text;

// Objects and their members by name, as indexes: an object added while the script runs must
// not leave anything dangling.
struct Directory {
  struct Object {
    std::size_t entry = 0;
    std::map<std::string, std::size_t, std::less<>> members;  // first registration wins
  };
  std::map<std::string, Object, std::less<>> objects;
};

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// Rounded as the objects round a number into an integer, so that the check and the run agree.
bool FitsInt32AfterRounding(double value) {
  int32_t rounded = 0;
  return support::RoundToInteger(value, &rounded);
}

// Empty when `statement`'s value suits a property of `value_kind`, else the message.
Text CheckValueKind(const Statement& statement, int value_kind) {
  const std::string shown = ShowInMessage(statement.value_text);
  const std::string member(statement.member), object(statement.object);
  if (value_kind == kValueNumber) {
    double number = 0;
    bool is_number = false;
    if (const double* literal = std::get_if<double>(&statement.value)) {
      number = *literal;
      is_number = true;
    } else if (const std::string* text = std::get_if<std::string>(&statement.value)) {
      is_number = support::ReadDecimal(TrimBlanks(*text), number);
    }
    if (!is_number) {
      return Compose(N_("значение %s не подходит для свойства \"%s\" объекта \"%s\": нужно число"),
                     {shown, member, object});
    }
    if (!FitsInt32AfterRounding(number)) {
      return Compose(N_("число %s вне допустимого диапазона для свойства \"%s\" объекта \"%s\" "
                        "(от -2147483648 до 2147483647)"),
                     {shown, member, object});
    }
  } else if (value_kind == kValueBoolean) {
    if (const std::string* text = std::get_if<std::string>(&statement.value)) {
      const std::string_view trimmed = TrimBlanks(*text);
      double number = 0;
      if (!support::EqualsIgnoringAsciiCase(trimmed, "true") &&
          !support::EqualsIgnoringAsciiCase(trimmed, "false") &&
          !support::ReadDecimal(trimmed, number)) {
        return Compose(N_("значение %s не подходит для свойства \"%s\" объекта \"%s\": нужно "
                          "True, False или число"),
                       {shown, member, object});
      }
    }
  }
  // kValueText takes anything; so does a kind the engine does not know.
  return {};
}

Directory BuildDirectory(const std::vector<ObjectInfo>& infos) {
  Directory directory;
  for (std::size_t i = 0; i < infos.size(); ++i) {
    Directory::Object& object = directory.objects[infos[i].ObjectName()];
    object.entry = i;
    const auto& members = infos[i].Members();
    for (std::size_t m = 0; m < members.size(); ++m) object.members.emplace(members[m].name, m);
  }
  return directory;
}

// What is wrong with `statement` given the registered objects; an empty message when nothing.
detail::Problem CheckStatement(const Statement& statement, const Directory& directory,
                               const std::vector<ObjectInfo>& infos) {
  const std::string object_name(statement.object);
  const std::string member_name(statement.member);
  const auto object = directory.objects.find(statement.object);
  if (object == directory.objects.end()) {
    return {statement.object_offset, Compose(N_("неизвестный объект \"%s\""), {object_name})};
  }
  const auto member = object->second.members.find(statement.member);
  if (member == object->second.members.end()) {
    return {statement.member_offset,
            Compose(N_("неизвестный член \"%s\" объекта \"%s\""), {member_name, object_name})};
  }
  const ObjectInfo::Member& info = infos[object->second.entry].Members()[member->second];
  if (statement.is_assignment && info.is_function) {
    return {statement.member_offset,
            Compose(N_("\"%s\" — функция объекта \"%s\", ей нельзя присвоить значение"),
                    {member_name, object_name})};
  }
  if (!statement.is_assignment && !info.is_function) {
    return {statement.member_offset,
            Compose(N_("\"%s\" — свойство объекта \"%s\", его нельзя вызвать как функцию "
                       "(нужно \"= значение\")"),
                    {member_name, object_name})};
  }
  if (statement.is_assignment)
    return {statement.value_offset, CheckValueKind(statement, info.value_kind)};
  return {};
}

// Text from an object, made fit for the one-line description.
std::string OneLine(const std::string& text) { return ShowInMessage(text, 1000); }

// The object's description is one of the program's texts (an error's standard description,
// say), so the console shows it in the user's language too.
Text CommandFailed(std::string_view object, std::string_view member, int32_t number,
                   const std::string& description) {
  Text reason;
  if (description.empty()) {
    reason = Compose(N_("ошибка %s"), {std::to_string(number)});
  } else {
    reason = {OneLine(description), OneLine(support::Tr(description))};
    if (number != 0) {
      const std::string code = " (" + std::to_string(number) + ")";
      reason.stored += code;
      reason.shown += code;
    }
  }
  return Compose(N_("команда %s.%s не выполнена: %s"), {object, member, reason});
}

}  // namespace

ScriptEngine::ScriptEngine() = default;
ScriptEngine::~ScriptEngine() = default;

bool ScriptEngine::Run() {
  error_ = loom::Error();
  error_.FileName = script_.file_name_;
  // A private copy: nothing an object does during the run can pull the text away.
  const std::string text = script_.text_;

  const std::string file_name = ShowInMessage(error_.FileName, 4096);
  const auto set = [&](const Text& description) {
    error_.Description = description.stored;
    error_.ShownDescription = description.shown;
    return false;
  };
  const auto fail = [&](std::size_t offset, const Text& message) {
    const detail::TextPosition position = detail::Locate(text, offset);
    error_.Line = position.line;
    error_.Column = position.column;
    return set(Compose(
        N_("Ошибка в скрипте \"%s\", строка %s, столбец %s: %s"),
        {file_name, std::to_string(position.line), std::to_string(position.column), message}));
  };

  if (!script_.loaded_) {
    return set(Compose(
        N_("Ошибка в скрипте \"%s\": скрипт не загружен (файл не найден, не читается или пуст)"),
        {file_name}));
  }
  if (script_.damaged_at_ != std::string::npos) {
    return fail(script_.damaged_at_,
                Compose(N_("текст в UTF-16 повреждён (непарный суррогат или нечётное число "
                           "байтов)")));
  }

  std::vector<ObjectInfo> infos;
  for (const auto& entry : objects_.entries_) infos.push_back(entry.info);
  const Directory directory = BuildDirectory(infos);

  // Pass 1: check everything; nothing runs unless the whole script is sound.
  detail::Parser checker(text);
  Statement statement;
  detail::Problem syntax_error;
  for (;;) {
    const ParseResult result = checker.Next(statement, syntax_error);
    if (result == ParseResult::kEnd) break;
    if (result == ParseResult::kError) return fail(syntax_error.offset, syntax_error.message);

    const detail::Problem problem = CheckStatement(statement, directory, infos);
    if (!problem.message.empty()) return fail(problem.offset, problem.message);
  }

  // Pass 2: run. The text and the objects passed the check, so lookups cannot miss.
  detail::Parser runner(text);
  while (runner.Next(statement, syntax_error) == ParseResult::kStatement) {
    const Directory::Object& object = directory.objects.find(statement.object)->second;
    const std::string member_name(statement.member);
    const ObjectInfo::Member& info =
        infos[object.entry].Members()[object.members.find(statement.member)->second];
    // Held for the call: the object stays alive even if the host drops it meanwhile.
    const std::shared_ptr<IScriptObject> target = objects_.entries_[object.entry].object;

    ScriptError script_error;
    bool ok = false;
    try {
      ok = info.is_function ? target->InvokeFunction(member_name, script_error)
                            : target->InvokeProperty(member_name, statement.value, script_error);
    } catch (const support::Error& raised) {
      return fail(statement.object_offset, CommandFailed(statement.object, statement.member,
                                                         raised.number(), raised.description()));
    }
    if (!ok) {
      const Text reason =
          script_error.HasObjectError()
              ? CommandFailed(statement.object, statement.member, script_error.Number(),
                              script_error.Description())
              : Compose(N_("команда %s.%s не выполнена (объект не сообщил причину)"),
                        {statement.object, member_name});
      return fail(statement.object_offset, reason);
    }
  }
  return true;
}

}  // namespace loom
