#pragma once

#include <string>
#include <utility>
#include <variant>

namespace kalvora {

/** An error the user must be told about: a sentence fit for an alert. */
struct Error
{
    std::string message;
    bool operator==(const Error&) const = default;
};

/**
 * A value or the reason there is none. Used where the caller must tell the user
 * why something failed; plain absence is std::optional.
 */
template <typename T>
class [[nodiscard]] Result
{
public:
    Result(T value) : m_data(std::move(value)) {}
    Result(Error error) : m_data(std::move(error)) {}

    static Result failure(std::string message) { return Result(Error{std::move(message)}); }

    bool ok() const { return std::holds_alternative<T>(m_data); }
    explicit operator bool() const { return ok(); }

    const T& value() const& { return std::get<T>(m_data); }
    T& value() & { return std::get<T>(m_data); }
    T&& value() && { return std::get<T>(std::move(m_data)); }
    const T& operator*() const& { return value(); }
    T& operator*() & { return value(); }
    const T* operator->() const { return &value(); }
    T* operator->() { return &value(); }

    const std::string& error() const { return std::get<Error>(m_data).message; }

private:
    std::variant<T, Error> m_data;
};

/** Success without a value. */
struct Done
{
    bool operator==(const Done&) const = default;
};

} // namespace kalvora
