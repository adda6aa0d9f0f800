// User locale, ANSI code page, time-zone bias, and small system facts.
#pragma once

#include <cstdint>
#include <string>

enum class TPrimaryLanguage {
    Other,
    Italian,
    English,
    ChineseSimplified,
    ChineseTraditional,
    Japanese,
    Korean,
    Russian,
    Ukrainian,
};

// From LC_ALL, else LC_CTYPE, else LANG.
TPrimaryLanguage UserPrimaryLanguage();
// The locale name that decided UserPrimaryLanguage ("it_IT.UTF-8"), or "".
std::string UserLocaleName();
// The character set of that locale as the C library names it ("UTF-8",
// "EUC-JP", "ANSI_X3.4-1968"); for a locale that is not installed "UTF-8"
// when its name says so, else "".
std::string UserLocaleCharset();

// Windows code page number of the workstation's ANSI code page: 1252 unless
// the locale's language calls for another (932, 936, 949, 950, 1251).
int AnsiCodePage();
// The iconv name of that code page ("CP1252").
std::string AnsiCodePageName();
// True when c is a lead byte of a double-byte character in the ANSI code page.
bool IsAnsiLeadByte(unsigned char c);

// Minutes of UTC minus local time, for the offset in effect now.
int TimeZoneBiasMinutes();

// gethostname, cut to 15 characters.
std::string ComputerName();
// gethostname, whole.
std::string LocalHostName();

// True only for an existing regular file; the name is ANSI text and is
// looked up under its UTF-8 form.
bool FileExists(const std::string& path);

// Monotonic milliseconds.
uint64_t MonotonicMilliseconds();
void SleepMilliseconds(uint32_t ms);
