// Reading a command's arguments: its files, and its options from a table of them
// ("--name VALUE" or "--name=VALUE").
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/qsd/commands/command.h"
#include "tools/qsd/lib/text_source.h"

namespace quillshade::qsd {

// One option of a command: a switch, or an option that takes a value.
struct Option {
  std::vector<std::string_view> names{};  // any of them names it: "-o", "--output"
  bool* on = nullptr;                   // a switch: set when given
  bool bareOnly = false;                // a switch given only by its bare name, never "name=VALUE"
  std::string needs{};                  // the usage error when the value is missing
  // Stores the value, or answers the usage error that refuses it.
  std::function<std::optional<std::string>(const std::string& value)> take{};
};

// A switch, also when written "name=VALUE" (the value is ignored).
Option Switch(std::string_view name, bool& on);
// A switch given only by its bare name.
Option BareSwitch(std::string_view name, bool& on);
// An option whose value `accept` stores, or refuses with the usage error `needs`, the
// same as when the value is missing.
Option ValueOption(std::vector<std::string_view> names, std::string needs,
                   std::function<bool(const std::string& value)> accept);
// "--from ENCODING" or "--to ENCODING": utf-8 (or utf8) or cp932 (or shift-jis, sjis), in any case.
Option EncodingOption(std::string_view name, SourceEncoding& encoding);
// "-o FILE" or "--output FILE": where to write, never an empty name.
Option OutputOption(std::string& output);

enum class HelpRule {
  InTurn,  // "--help" or "-h" is read in its turn: a wrong argument before it wins
  First,   // "--help" or "-h", bare and before "--", wins over every other argument
};

// Reads the arguments in order: "-" and everything after "--" are files, and so is
// every argument that does not begin with "-"; they go to `files`. Answers the status
// the command stops with, the help printed or a usage error, or nothing when it runs.
std::optional<int> ReadArguments(const Command& command, const Arguments& args, const std::vector<Option>& options,
                                 std::vector<std::string>& files, HelpRule help = HelpRule::InTurn);
// The same for a command of exactly one file: none or several are a usage error that
// calls it `what` ("IN", "FILE").
std::optional<int> ReadArguments(const Command& command, const Arguments& args, const std::vector<Option>& options,
                                 std::string& file, std::string_view what);

}  // namespace quillshade::qsd
