// Shift_JIS to ISO-2022-JP (RFC 1468), byte by byte.
#pragma once

#include <string>

// Bytes that have no place in ISO-2022-JP are dropped.
std::string ToIso2022Jp(const std::string& shiftJis);
