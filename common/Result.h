#pragma once

#include <optional>
#include <utility>
#include <variant>

// The error half of a Result, so that a failing return reads as one: return Failure(Error::NoRoom).
template<typename E> struct Failure
{
    explicit Failure(E error)
        : error(std::move(error))
    {
    }

    E error;
};

template<typename E> Failure(E) -> Failure<E>;

// What an operation that can fail returns: its value, or the reason there is none. Asking a
// failure for its value (or a success for its error) is a bug and throws std::bad_variant_access
// (std::bad_optional_access from a Result<void, E>, which has only its error to ask for).
template<typename T, typename E> class [[nodiscard]] Result
{
public:
    Result(T value)
        : m_state(std::in_place_index<0>, std::move(value))
    {
    }
    template<typename G>
    Result(Failure<G> failure)
        : m_state(std::in_place_index<1>, std::move(failure.error))
    {
    }

    bool ok() const { return m_state.index() == 0; }
    explicit operator bool() const { return ok(); }

    const T &value() const & { return std::get<0>(m_state); }
    T &value() & { return std::get<0>(m_state); }
    T &&value() && { return std::get<0>(std::move(m_state)); }
    const T &operator*() const & { return value(); }
    T &operator*() & { return value(); }
    const T *operator->() const { return &value(); }
    T *operator->() { return &value(); }

    const E &error() const { return std::get<1>(m_state); }

private:
    std::variant<T, E> m_state;
};

// An operation that gives nothing back when it succeeds.
template<typename E> class [[nodiscard]] Result<void, E>
{
public:
    Result() = default;
    template<typename G>
    Result(Failure<G> failure)
        : m_error(std::move(failure.error))
    {
    }

    bool ok() const { return !m_error; }
    explicit operator bool() const { return ok(); }

    const E &error() const { return m_error.value(); }

private:
    std::optional<E> m_error;
};
