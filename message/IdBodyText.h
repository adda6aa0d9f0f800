// Text lines made ready for the wire: converted to the charset that names
// their bytes, with a transfer encoding the receiving server takes.
#pragma once

#include <string>

#include "core/StringList.h"

struct TIdBodyText {
    TStringList Lines;
    std::string CharSet;   // empty for plain ASCII, which needs no label
    std::string Transfer;  // "7bit", "8bit" or "quoted-printable"

    // Whether a charset or transfer encoding must be declared at all.
    bool NeedsLabel() const { return !CharSet.empty() || Transfer != "7bit"; }
};

// No line of a message may pass this many octets (without its CR LF).
constexpr size_t kMaxLineOctets = 998;

// "7bit" for ASCII lines within kMaxLineOctets; "8bit" for 8-bit lines
// within it when eightBit (the server offers 8BITMIME); "quoted-printable"
// otherwise.
std::string TransferFor(const TStringList& lines, bool eightBit);

// The lines of the ANSI code page under the label LabelText picks for them
// (preferred when they fit it), with TransferFor's encoding.
TIdBodyText PrepareBodyText(const TStringList& ansiLines, const std::string& preferred, bool eightBit);
