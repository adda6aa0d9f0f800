// Text of the ANSI code page made ready to leave under a MIME charset
// label: the bytes and the name that tells a reader what they are.
#pragma once

#include <string>

struct TIdLabelledText {
    std::string Bytes;
    std::string CharSet;
};

// preferred is the label the locale asks for. Text that holds only ASCII,
// or that converts without loss to preferred, goes under it (converted);
// other text goes under the label of its own code page ("windows-1252",
// "windows-1251", "GBK"), or as UTF-8 when that code page has no label
// readers know (932, 949, 950).
TIdLabelledText LabelText(const std::string& ansi, const std::string& preferred);

// True when some byte is 128 or above.
bool HasEightBitBytes(const std::string& text);
// True for ASCII without ESC (which would switch an ISO-2022 reader into
// another character set): such text needs no conversion and no label.
bool IsPlainAscii(const std::string& text);
