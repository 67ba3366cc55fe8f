#pragma once
// A value, or the reason there is none. The engine's operations that can fail return one, so
// a failure is a value the caller must look at rather than a code left somewhere to ask for.

#include <utility>
#include <variant>

namespace torvane {

template <class T, class E>
class [[nodiscard]] Expected {
public:
    Expected(T value) : m_v(std::in_place_index<0>, std::move(value)) {}
    Expected(E error) : m_v(std::in_place_index<1>, error) {}

    explicit operator bool() const { return m_v.index() == 0; }
    T& value() { return std::get<0>(m_v); }
    T& operator*() { return value(); }
    T* operator->() { return &value(); }
    E error() const { return std::get<1>(m_v); }

private:
    std::variant<T, E> m_v;
};

}  // namespace torvane
