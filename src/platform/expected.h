#pragma once

#include <utility>
#include <variant>

namespace corvane::platform {

// The error side of an Expected, spelled out so that a value and an error of the same type
// cannot be confused.
template <typename E>
struct Unexpected {
  explicit Unexpected(E e) : error(std::move(e)) {}
  E error;
};

// A value, or the reason there is none: a small stand-in for C++23's std::expected, with the
// same spelling so that it can give way to it.
template <typename T, typename E>
class Expected {
 public:
  Expected(T value) : storage_(std::in_place_index<0>, std::move(value)) {}  // NOLINT: implicit, as std::expected
  Expected(Unexpected<E> failure) : storage_(std::in_place_index<1>, std::move(failure.error)) {}  // NOLINT

  bool has_value() const { return storage_.index() == 0; }
  explicit operator bool() const { return has_value(); }

  T& value() & { return std::get<0>(storage_); }
  const T& value() const& { return std::get<0>(storage_); }
  T&& value() && { return std::get<0>(std::move(storage_)); }
  T& operator*() & { return value(); }
  const T& operator*() const& { return value(); }
  T&& operator*() && { return std::move(*this).value(); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }

  const E& error() const { return std::get<1>(storage_); }

 private:
  std::variant<T, E> storage_;
};

// An operation that gives nothing back but may fail: success, or the reason it failed.
template <typename E>
class Expected<void, E> {
 public:
  Expected() = default;
  Expected(Unexpected<E> failure) : error_(std::move(failure.error)), failed_(true) {}  // NOLINT

  bool has_value() const { return !failed_; }
  explicit operator bool() const { return has_value(); }
  const E& error() const { return error_; }

 private:
  E error_{};
  bool failed_ = false;
};

}  // namespace corvane::platform
