// Puts a value back as it was when its scope is left by an exception: a command cut short
// leaves its "current" state unchanged, so a retry of the same id does the work.
#pragma once

#include <cstring>
#include <exception>
#include <type_traits>

template <class T> class RestoreOnThrow {
    static_assert(std::is_trivially_copyable_v<T>);

  public:
    explicit RestoreOnThrow(T& value) : m_value(value) { std::memcpy(&m_saved, &value, sizeof(T)); }
    ~RestoreOnThrow() {
        if (std::uncaught_exceptions() > m_unwinding) {
            std::memcpy(&m_value, &m_saved, sizeof(T));
        }
    }
    RestoreOnThrow(const RestoreOnThrow&) = delete;
    RestoreOnThrow& operator=(const RestoreOnThrow&) = delete;

  private:
    T& m_value;
    T m_saved;
    const int m_unwinding = std::uncaught_exceptions();
};
