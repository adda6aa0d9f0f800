// Overwrites secrets (passwords) with zeros in a way the compiler may not
// drop as a dead store, so they do not linger in freed memory.
#pragma once

#include <cstddef>
#include <string>

void SecureWipe(void* data, size_t size);
// The whole buffer, including what lies beyond the current size; the
// string is left empty.
void SecureWipe(std::string& text);
