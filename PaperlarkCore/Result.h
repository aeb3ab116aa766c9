#pragma once

#include <cassert>
#include <type_traits>
#include <utility>
#include <variant>

// The outcome of an operation that can fail: either a value or a failure.
// Failures are values of each service's own Failure type, whose
// description() is the text the user sees.
template <typename T, typename E> class Result {
public:
    Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
    Result(E failure) : state_(std::in_place_index<1>, std::move(failure)) {}

    bool ok() const { return state_.index() == 0; }
    explicit operator bool() const { return ok(); }

    const T& value() const& {
        assert(ok());
        return std::get<0>(state_);
    }
    T& value() & {
        assert(ok());
        return std::get<0>(state_);
    }
    T&& value() && {
        assert(ok());
        return std::get<0>(std::move(state_));
    }
    const E& failure() const {
        assert(!ok());
        return std::get<1>(state_);
    }

private:
    std::variant<T, E> state_;
};

// An operation that yields nothing on success.
template <typename E> class Result<void, E> {
public:
    Result() = default;
    Result(E failure) : failure_(std::move(failure)), failed_(true) {}

    bool ok() const { return !failed_; }
    explicit operator bool() const { return ok(); }

    const E& failure() const {
        assert(failed_);
        return failure_;
    }

private:
    E failure_{};
    bool failed_ = false;
};
