#include "core/SecureWipe.h"

void SecureWipe(void* data, size_t size) {
    volatile unsigned char* p = static_cast<volatile unsigned char*>(data);
    for (size_t i = 0; i < size; ++i) p[i] = 0;
    // The buffer counts as read afterwards: the stores cannot be removed.
    __asm__ __volatile__("" : : "r"(data) : "memory");
}

void SecureWipe(std::string& text) {
    // Growing to the capacity never reallocates, and makes every byte of
    // the buffer part of the string.
    text.resize(text.capacity());
    SecureWipe(text.data(), text.size());
    text.clear();
}
