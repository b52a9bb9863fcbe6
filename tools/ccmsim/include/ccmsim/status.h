// Status and Result: the outcome of a simulator operation (ok, or an error with a message that
// a person can read), and a value-or-error for operations that produce something.
// Plain values; no threading concerns.
#pragma once

#include <optional>
#include <string>
#include <utility>

namespace ccmsim {

class Status {
 public:
  Status() = default;
  static Status Ok() { return Status(); }
  static Status Error(std::string message) { return Status(std::move(message)); }

  bool ok() const { return !error_; }
  // Empty when ok.
  const std::string& message() const { return message_; }

 private:
  explicit Status(std::string message) : error_(true), message_(std::move(message)) {}

  bool error_ = false;
  std::string message_;
};

template <typename T>
class Result {
 public:
  Result(T value) : value_(std::move(value)) {}  // NOLINT: implicit by design
  Result(Status status) : status_(std::move(status)) {}  // NOLINT: implicit by design

  bool ok() const { return value_.has_value(); }
  const Status& status() const { return status_; }
  T& value() { return *value_; }
  const T& value() const { return *value_; }

 private:
  Status status_;
  std::optional<T> value_;
};

}  // namespace ccmsim
