// The project's result type: a value or an error, shaped like std::expected so
// that it can be replaced by it once every supported compiler ships it.
//
// A Result is [[nodiscard]] and has no default constructor, so `return {};`
// cannot pass for a success. Reading value() of an error, or error() of a
// value, is a programming fault and ends the process.
#ifndef LWK_BASE_RESULT_H_
#define LWK_BASE_RESULT_H_

#include <cstdio>
#include <cstdlib>
#include <type_traits>
#include <utility>
#include <variant>

namespace lwk {

// Ends the process after printing `what` on standard error. Used for internal
// faults only; nothing catches them.
[[noreturn]] inline void fatal(const char* what) {
  (void)std::fputs("internal fault: ", stderr);
  (void)std::fputs(what, stderr);
  (void)std::fputc('\n', stderr);
  std::abort();
}

// The error side of a Result, built explicitly: `return lwk::unexpected(e);`.
template <class E>
class Unexpected {
 public:
  explicit Unexpected(E error) : error_(std::move(error)) {}
  const E& error() const& { return error_; }
  E&& error() && { return std::move(error_); }

 private:
  E error_;
};

template <class E>
Unexpected<std::decay_t<E>> unexpected(E&& error) {
  return Unexpected<std::decay_t<E>>(std::forward<E>(error));
}

template <class T, class E>
class [[nodiscard]] Result {
 public:
  Result() = delete;
  // NOLINTNEXTLINE(google-explicit-constructor): a value converts to a success.
  Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
  template <class G>
  // NOLINTNEXTLINE(google-explicit-constructor): an Unexpected converts to a failure.
  Result(Unexpected<G> failure) : state_(std::in_place_index<1>, std::move(failure).error()) {}

  bool has_value() const { return state_.index() == 0; }
  explicit operator bool() const { return has_value(); }

  T& value() & {
    if (!has_value()) fatal("value() of a failed result");
    return *std::get_if<0>(&state_);
  }
  const T& value() const& {
    if (!has_value()) fatal("value() of a failed result");
    return *std::get_if<0>(&state_);
  }
  T&& value() && {
    if (!has_value()) fatal("value() of a failed result");
    return std::move(*std::get_if<0>(&state_));
  }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }
  T& operator*() & { return value(); }
  const T& operator*() const& { return value(); }

  const E& error() const& {
    if (has_value()) fatal("error() of a successful result");
    return *std::get_if<1>(&state_);
  }
  E&& error() && {
    if (has_value()) fatal("error() of a successful result");
    return std::move(*std::get_if<1>(&state_));
  }

 private:
  std::variant<T, E> state_;
};

// The success of an operation that gives nothing: `return lwk::success();`.
struct Success {};
inline Success success() { return {}; }

template <class E>
class [[nodiscard]] Result<void, E> {
 public:
  Result() = delete;
  // NOLINTNEXTLINE(google-explicit-constructor)
  Result(Success) {}
  template <class G>
  // NOLINTNEXTLINE(google-explicit-constructor)
  Result(Unexpected<G> failure) : error_(std::in_place_index<1>, std::move(failure).error()) {}

  bool has_value() const { return error_.index() == 0; }
  explicit operator bool() const { return has_value(); }
  void value() const {
    if (!has_value()) fatal("value() of a failed result");
  }
  const E& error() const& {
    if (has_value()) fatal("error() of a successful result");
    return *std::get_if<1>(&error_);
  }
  E&& error() && {
    if (has_value()) fatal("error() of a successful result");
    return std::move(*std::get_if<1>(&error_));
  }

 private:
  std::variant<std::monostate, E> error_;
};

}  // namespace lwk

#endif  // LWK_BASE_RESULT_H_
