// The one shape in which the toolkit library answers a failure: a value, or why there is none.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <variant>

#include "story/utf16.h"

namespace quillshade::qsd {

// Why an operation failed, in the words the commands print after the file's name.
struct Failure {
  explicit Failure(std::string why, std::optional<TextPlace> at = std::nullopt)
      : message(std::move(why)), place(at) {}

  std::string message;
  std::optional<TextPlace> place;  // where in a text the failure is, when it is about one place
};

// A T, or the Failure that stands in its place. Findings about a story (diagnostics,
// encoding notes) are not failures: they travel as data beside a value.
template <typename T>
class [[nodiscard]] Result {
 public:
  Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
  Result(Failure failure) : state_(std::in_place_index<1>, std::move(failure)) {}

  bool ok() const { return state_.index() == 0; }

  // Asking a failure for its value, or a value for its failure, is a fault of the caller.
  const T& value() const& { return *Checked(std::get_if<0>(&state_)); }
  T& value() & { return *Checked(std::get_if<0>(&state_)); }
  T&& value() && { return std::move(*Checked(std::get_if<0>(&state_))); }
  const Failure& error() const { return *Checked(std::get_if<1>(&state_)); }

 private:
  template <typename P>
  static P* Checked(P* held) {
    if (held == nullptr) std::abort();
    return held;
  }

  std::variant<T, Failure> state_;
};

// An operation that gives nothing but may fail.
template <>
class [[nodiscard]] Result<void> {
 public:
  Result() = default;
  Result(Failure failure) : failure_(std::move(failure)) {}

  bool ok() const { return !failure_; }
  const Failure& error() const {
    if (!failure_) std::abort();
    return *failure_;
  }

 private:
  std::optional<Failure> failure_;
};

}  // namespace quillshade::qsd
