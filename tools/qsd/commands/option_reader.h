// Reading a command's arguments: options (with "--name VALUE" or "--name=VALUE"), files.
#pragma once

#include <string>
#include <string_view>

#include "tools/qsd/commands/command.h"
#include "tools/qsd/lib/text_source.h"

namespace quillshade::qsd {

// Walks the arguments one at a time. "-" is a file (stdin or stdout); after "--" every
// argument is a file.
class OptionReader {
 public:
  OptionReader(const Command& command, const Arguments& args) : command_(command), args_(args) {}

  bool Next();
  bool IsFile() const { return isFile_; }
  const std::string& Argument() const { return args_[at_]; }
  // Whether the current argument is the option `name`, alone or as "name=VALUE".
  bool Is(std::string_view name);
  // Whether it is the option `name` alone: for options that take no value.
  bool IsExactly(std::string_view name) const { return !isFile_ && args_[at_] == name; }
  // Takes the option's value from "=VALUE" or from the next argument.
  bool TakeValue();
  const std::string& Value() const { return value_; }

  int Fail(std::string_view message) const { return UsageError(command_, message); }
  int UnknownOption() const;
  int PrintHelp() const;

 private:
  const Command& command_;
  const Arguments& args_;
  std::size_t at_ = 0;
  bool started_ = false;
  bool onlyFiles_ = false;
  bool isFile_ = false;
  bool hasInlineValue_ = false;
  std::string value_;
};

// "utf-8" (or "utf8") and "cp932" (or "shift-jis", "sjis"), in any case.
bool ParseEncoding(std::string_view name, SourceEncoding& encoding);

}  // namespace quillshade::qsd
