#include "platform/Locale.h"

#include <chrono>
#include <thread>

#include "platform/FileName.h"

std::string AnsiCodePageName() { return "CP" + std::to_string(AnsiCodePage()); }

bool FileExists(const std::string& path) {
    try {
        return SystemFileExists(SystemFileName(path));
    } catch (const EFileNameError&) {
        return false;  // bytes the code page does not define name no file
    }
}

void SleepMilliseconds(uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
