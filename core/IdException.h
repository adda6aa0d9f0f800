// The exception family every subsystem raises.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

// Root of all our exceptions: carries only a message.
class Exception : public std::exception {
public:
    explicit Exception(std::string message) : message_(std::move(message)) {}
    ~Exception() override = default;

    const std::string& Message() const { return message_; }
    void SetMessage(const std::string& value) { message_ = value; }
    const char* what() const noexcept override { return message_.c_str(); }

private:
    std::string message_;
};

class EIdException : public Exception {
public:
    using Exception::Exception;
};

// Marks normal ends (for example a peer that closed gracefully); callers
// that report errors may choose to stay quiet about these.
class EIdSilentException : public EIdException {
public:
    using EIdException::EIdException;
};

// Conversion failures of the framework helpers (text to number and so on).
class EConvertError : public Exception {
public:
    using Exception::Exception;
};

// Raise-if helpers usable with every exception kind that is constructible
// from a message: Raise<EIdFoo>::IfTrue(cond, "text").
template <class E>
struct Raise {
    [[noreturn]] static void Toss(const std::string& message) { throw E(message); }
    static void IfTrue(bool condition, const std::string& message) {
        if (condition) throw E(message);
    }
    static void IfFalse(bool condition, const std::string& message) {
        if (!condition) throw E(message);
    }
    static void IfAssigned(const void* reference, const std::string& message) {
        if (reference != nullptr) throw E(message);
    }
    static void IfNotAssigned(const void* reference, const std::string& message) {
        if (reference == nullptr) throw E(message);
    }
    static void IfNotInRange(int64_t value, int64_t low, int64_t high, const std::string& message) {
        if (value < low || value > high) throw E(message);
    }
};

// printf-style formatting of exception texts ("Cannot open file %s").
std::string Format(const char* pattern, ...) __attribute__((format(printf, 1, 2)));
