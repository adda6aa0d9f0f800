#include "core/IdException.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

std::string Format(const char* pattern, ...) {
    va_list args;
    va_start(args, pattern);
    va_list copy;
    va_copy(copy, args);
    const int size = std::vsnprintf(nullptr, 0, pattern, copy);
    va_end(copy);
    std::string result;
    if (size > 0) {
        std::vector<char> buffer(static_cast<size_t>(size) + 1);
        std::vsnprintf(buffer.data(), buffer.size(), pattern, args);
        result.assign(buffer.data(), static_cast<size_t>(size));
    }
    va_end(args);
    return result;
}
