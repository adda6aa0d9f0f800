#include "app/DebugTrace.h"

#include "platform/DebugOutput.h"

int32_t DebugLevel = 1;

void DebugTrace(const std::string& text) {
    if (DebugLevel > 0) OutputDebugStringA(text);
}
