// The argument walk shared by the toolkit's commands.
#include "tools/qsd/commands/option_reader.h"

#include <cstdio>


namespace quillshade::qsd {

bool OptionReader::Next() {
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

bool OptionReader::Is(std::string_view name) {
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

bool OptionReader::TakeValue() {
  if (hasInlineValue_) return true;
  if (at_ + 1 >= args_.size()) return false;
  value_ = args_[++at_];
  return true;
}

int OptionReader::UnknownOption() const { return Fail("unknown option '" + args_[at_] + "'"); }

int OptionReader::PrintHelp() const {
  std::fwrite(command_.usage.data(), 1, command_.usage.size(), stdout);
  return kExitOk;
}

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

}  // namespace quillshade::qsd
