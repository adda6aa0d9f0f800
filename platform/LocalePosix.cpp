#include "platform/Locale.h"

#include <langinfo.h>
#include <locale.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <thread>

#include "core/StringList.h"
#include "platform/FileName.h"

std::string UserLocaleName() {
    for (const char* var : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char* v = std::getenv(var);
        if (v != nullptr && *v != '\0') return v;
    }
    return {};
}

std::string UserLocaleCharset() {
    const std::string name = UserLocaleName();
    const locale_t locale = ::newlocale(LC_CTYPE_MASK, name.c_str(), static_cast<locale_t>(0));
    if (locale == static_cast<locale_t>(0)) {
        const std::string lower = LowerCase(name);
        const bool utf8 = lower.find("utf-8") != std::string::npos || lower.find("utf8") != std::string::npos;
        return utf8 ? "UTF-8" : "";
    }
    std::string charset = ::nl_langinfo_l(CODESET, locale);
    ::freelocale(locale);
    return charset;
}

TPrimaryLanguage UserPrimaryLanguage() {
    const std::string name = LowerCase(UserLocaleName());
    const std::string lang = name.substr(0, name.find_first_of("_.@"));
    if (lang == "it") return TPrimaryLanguage::Italian;
    if (lang == "en") return TPrimaryLanguage::English;
    if (lang == "ja") return TPrimaryLanguage::Japanese;
    if (lang == "ko") return TPrimaryLanguage::Korean;
    if (lang == "ru") return TPrimaryLanguage::Russian;
    if (lang == "uk") return TPrimaryLanguage::Ukrainian;
    if (lang == "zh") {
        const bool simplified = StartsText("zh_cn", name) || StartsText("zh_sg", name);
        return simplified ? TPrimaryLanguage::ChineseSimplified : TPrimaryLanguage::ChineseTraditional;
    }
    return TPrimaryLanguage::Other;
}

int AnsiCodePage() {
    switch (UserPrimaryLanguage()) {
        case TPrimaryLanguage::Japanese: return 932;
        case TPrimaryLanguage::ChineseSimplified: return 936;
        case TPrimaryLanguage::ChineseTraditional: return 950;
        case TPrimaryLanguage::Korean: return 949;
        case TPrimaryLanguage::Russian:
        case TPrimaryLanguage::Ukrainian: return 1251;
        default: return 1252;
    }
}


bool IsAnsiLeadByte(unsigned char c) {
    switch (AnsiCodePage()) {
        case 932: return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
        case 936:
        case 949:
        case 950: return c >= 0x81 && c <= 0xFE;
        default: return false;
    }
}

int TimeZoneBiasMinutes() {
    const time_t now = std::time(nullptr);
    struct tm local {};
    localtime_r(&now, &local);
    return static_cast<int>(-local.tm_gmtoff / 60);
}

std::string LocalHostName() {
    char buffer[256] = {};
    if (gethostname(buffer, sizeof buffer - 1) != 0) return {};
    return buffer;
}

std::string ComputerName() { return LocalHostName().substr(0, 15); }


uint64_t MonotonicMilliseconds() {
    struct timespec ts {};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
}

