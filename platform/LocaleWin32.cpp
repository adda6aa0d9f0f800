#include "platform/Locale.h"

#include <windows.h>

namespace {
std::string Narrow(const wchar_t* text) {
    const int size = ::WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) return {};
    std::string out(static_cast<size_t>(size), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, text, -1, out.data(), size, nullptr, nullptr);
    out.pop_back();
    return out;
}
}  // namespace

std::string UserLocaleName() {
    wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
    return ::GetUserDefaultLocaleName(name, LOCALE_NAME_MAX_LENGTH) > 0 ? Narrow(name) : std::string();
}

// Arguments and console text reach the program in the ANSI code page
// already: nothing to convert.
std::string UserLocaleCharset() { return {}; }

TPrimaryLanguage UserPrimaryLanguage() {
    const LANGID language = LANGIDFROMLCID(::GetUserDefaultLCID());
    switch (PRIMARYLANGID(language)) {
        case LANG_ITALIAN: return TPrimaryLanguage::Italian;
        case LANG_ENGLISH: return TPrimaryLanguage::English;
        case LANG_JAPANESE: return TPrimaryLanguage::Japanese;
        case LANG_KOREAN: return TPrimaryLanguage::Korean;
        case LANG_RUSSIAN: return TPrimaryLanguage::Russian;
        case LANG_UKRAINIAN: return TPrimaryLanguage::Ukrainian;
        case LANG_CHINESE: {
            const WORD sub = SUBLANGID(language);
            const bool simplified = sub == SUBLANG_CHINESE_SIMPLIFIED || sub == SUBLANG_CHINESE_SINGAPORE;
            return simplified ? TPrimaryLanguage::ChineseSimplified : TPrimaryLanguage::ChineseTraditional;
        }
        default: return TPrimaryLanguage::Other;
    }
}

int AnsiCodePage() { return static_cast<int>(::GetACP()); }

bool IsAnsiLeadByte(unsigned char c) {
    CPINFOEXA info{};
    if (!::GetCPInfoExA(CP_ACP, 0, &info)) return false;
    for (int i = 0; i + 1 < MAX_LEADBYTES && info.LeadByte[i] != 0; i += 2)
        if (c >= info.LeadByte[i] && c <= info.LeadByte[i + 1]) return true;
    return false;
}

int TimeZoneBiasMinutes() {
    TIME_ZONE_INFORMATION zone{};
    const DWORD state = ::GetTimeZoneInformation(&zone);
    if (state == TIME_ZONE_ID_DAYLIGHT) return static_cast<int>(zone.Bias + zone.DaylightBias);
    if (state == TIME_ZONE_ID_STANDARD) return static_cast<int>(zone.Bias + zone.StandardBias);
    return state == TIME_ZONE_ID_INVALID ? 0 : static_cast<int>(zone.Bias);
}

std::string LocalHostName() {
    char name[256] = {};
    DWORD size = sizeof name;
    return ::GetComputerNameExA(ComputerNameDnsHostname, name, &size) ? std::string(name, size) : std::string();
}

std::string ComputerName() {
    char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof name;
    return ::GetComputerNameA(name, &size) ? std::string(name, size) : std::string();
}

uint64_t MonotonicMilliseconds() { return ::GetTickCount64(); }
