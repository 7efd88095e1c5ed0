// The argument walk shared by the toolkit's commands.
#include "tools/qsd/commands/option_reader.h"

#include <cstdio>

#include "tools/qsd/lib/label_suggestion.h"

namespace quillshade::qsd {
namespace {

// Walks the arguments one at a time. "-" is a file (stdin or stdout); after "--" every
// argument is a file.
class ArgumentWalk {
 public:
  explicit ArgumentWalk(const Arguments& args) : args_(args) {}

  bool Next() {
    if (started_) ++at_;
    started_ = true;
    while (at_ < args_.size() && !onlyFiles_ && args_[at_] == "--") {
      onlyFiles_ = true;
      ++at_;
    }
    if (at_ >= args_.size()) return false;
    const std::string& arg = args_[at_];
    isFile_ = onlyFiles_ || arg.empty() || arg[0] != '-' || arg == "-";
    hasInlineValue_ = false;
    return true;
  }

  bool IsFile() const { return isFile_; }
  const std::string& Argument() const { return args_[at_]; }

  // Whether the current argument is the option `name`, alone or as "name=VALUE".
  bool Is(std::string_view name) {
    if (isFile_) return false;
    const std::string_view arg = args_[at_];
    if (arg == name) return true;
    if (arg.size() > name.size() && arg.substr(0, name.size()) == name && arg[name.size()] == '=') {
      hasInlineValue_ = true;
      value_ = std::string(arg.substr(name.size() + 1));
      return true;
    }
    return false;
  }

  // Whether it is the option `name` alone.
  bool IsExactly(std::string_view name) const { return !isFile_ && args_[at_] == name; }

  // Takes the option's value from "=VALUE" or from the next argument.
  bool TakeValue() {
    if (hasInlineValue_) return true;
    if (at_ + 1 >= args_.size()) return false;
    value_ = args_[++at_];
    return true;
  }
  const std::string& Value() const { return value_; }

 private:
  const Arguments& args_;
  std::size_t at_ = 0;
  bool started_ = false;
  bool onlyFiles_ = false;
  bool isFile_ = false;
  bool hasInlineValue_ = false;
  std::string value_;
};

bool ParseEncoding(std::string_view name, SourceEncoding& encoding) {
  std::string lower(name);
  for (char& c : lower) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  if (lower == "utf-8" || lower == "utf8") {
    encoding = SourceEncoding::Utf8;
    return true;
  }
  if (lower == "cp932" || lower == "shift-jis" || lower == "sjis" || lower == "shift_jis") {
    encoding = SourceEncoding::Cp932;
    return true;
  }
  return false;
}

bool IsHelp(ArgumentWalk& walk, HelpRule help) {
  if (help == HelpRule::First) return walk.IsExactly("--help") || walk.IsExactly("-h");
  return walk.Is("--help") || walk.Is("-h");
}

bool AsksForHelpFirst(const Arguments& args) {
  ArgumentWalk walk(args);
  while (walk.Next())
    if (IsHelp(walk, HelpRule::First)) return true;
  return false;
}

int PrintHelp(const Command& command) {
  std::fwrite(command.usage.data(), 1, command.usage.size(), stdout);
  return kExitOk;
}

const Option* FindOption(ArgumentWalk& walk, const std::vector<Option>& options) {
  for (const Option& option : options)
    for (const std::string_view name : option.names)
      if (option.bareOnly ? walk.IsExactly(name) : walk.Is(name)) return &option;
  return nullptr;
}

// An unknown option, and the one probably meant as for a mistyped command.
std::string UnknownOption(const std::string& argument, const std::vector<Option>& options) {
  std::vector<std::string_view> names{"--help", "-h"};
  for (const Option& option : options) names.insert(names.end(), option.names.begin(), option.names.end());
  const std::string_view typed = std::string_view(argument).substr(0, argument.find('='));
  std::string message = "unknown option '" + argument + "'";
  if (const auto meant = NearestName(typed, names)) message += "\ndid you mean '" + std::string(*meant) + "'?";
  return message;
}

}  // namespace

Option Switch(std::string_view name, bool& on) { return Option{.names = {name}, .on = &on}; }

Option BareSwitch(std::string_view name, bool& on) { return Option{.names = {name}, .on = &on, .bareOnly = true}; }

Option ValueOption(std::vector<std::string_view> names, std::string needs,
                   std::function<bool(const std::string& value)> accept) {
  auto take = [needs, accept = std::move(accept)](const std::string& value) -> std::optional<std::string> {
    if (accept(value)) return std::nullopt;
    return needs;
  };
  return Option{.names = std::move(names), .needs = std::move(needs), .take = std::move(take)};
}

Option EncodingOption(std::string_view name, SourceEncoding& encoding) {
  return ValueOption({name}, std::string(name) + " needs utf-8 or cp932",
                     [&encoding](const std::string& value) { return ParseEncoding(value, encoding); });
}

Option OutputOption(std::string& output) {
  return ValueOption({"-o", "--output"}, "-o needs a file name", [&output](const std::string& value) {
    if (value.empty()) return false;
    output = value;
    return true;
  });
}

std::optional<int> ReadArguments(const Command& command, const Arguments& args, const std::vector<Option>& options,
                                 std::vector<std::string>& files, HelpRule help) {
  if (help == HelpRule::First && AsksForHelpFirst(args)) return PrintHelp(command);
  ArgumentWalk walk(args);
  while (walk.Next()) {
    if (walk.IsFile()) {
      files.push_back(walk.Argument());
      continue;
    }
    if (help == HelpRule::InTurn && IsHelp(walk, help)) return PrintHelp(command);
    const Option* option = FindOption(walk, options);
    if (!option) return UsageError(command, UnknownOption(walk.Argument(), options));
    if (option->on) {
      *option->on = true;
    } else if (!walk.TakeValue()) {
      return UsageError(command, option->needs);
    } else if (const std::optional<std::string> refused = option->take(walk.Value())) {
      return UsageError(command, *refused);
    }
  }
  return std::nullopt;
}

std::optional<int> ReadArguments(const Command& command, const Arguments& args, const std::vector<Option>& options,
                                 std::string& file, std::string_view what) {
  std::vector<std::string> files;
  if (const auto status = ReadArguments(command, args, options, files)) return status;
  if (files.empty()) return UsageError(command, "no " + std::string(what) + " named");
  if (files.size() > 1) return UsageError(command, "name one " + std::string(what));
  file = std::move(files[0]);
  return std::nullopt;
}

}  // namespace quillshade::qsd
