#pragma once

#include <utility>
#include <variant>

namespace base {

// A failure as a value: what a function below the port contract returns instead of throwing.
template <typename E> struct Failed { E error; };
template <typename E> Failed(E) -> Failed<E>;

// The value a function made, or the failure (a kind and its fields) that kept it from making
// one. `return value;` and `return Failed{error};` both make one.
template <typename T, typename E> class Result {
public:
    Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
    Result(Failed<E> failed) : state_(std::in_place_index<1>, std::move(failed.error)) {}

    bool ok() const { return state_.index() == 0; }
    explicit operator bool() const { return ok(); }

    // Only when ok().
    const T& value() const { return std::get<0>(state_); }
    T& value() { return std::get<0>(state_); }
    const T& operator*() const { return value(); }
    const T* operator->() const { return &value(); }

    // Only when not ok().
    const E& error() const { return std::get<1>(state_); }

private:
    std::variant<T, E> state_;
};

// Nothing to give back but success or the failure.
struct Done {};
template <typename E> using Status = Result<Done, E>;

} // namespace base
