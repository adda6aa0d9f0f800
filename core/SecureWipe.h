// Overwrites secrets (passwords) with zeros in a way the compiler may not
// drop as a dead store, so they do not linger in freed memory.
#pragma once

#include <cstddef>
#include <string>

void SecureWipe(void* data, size_t size);
// The whole buffer, including what lies beyond the current size; the
// string is left empty.
void SecureWipe(std::string& text);

// A string holding a secret: what it held is wiped when it is replaced
// and when it goes away.
class TWipedString {
public:
    TWipedString() = default;
    ~TWipedString() { SecureWipe(text_); }
    TWipedString(const TWipedString&) = delete;
    TWipedString& operator=(const TWipedString&) = delete;
    TWipedString& operator=(const std::string& value) {
        SecureWipe(text_);
        text_ = value;
        return *this;
    }
    const std::string& Get() const { return text_; }

private:
    std::string text_;
};
