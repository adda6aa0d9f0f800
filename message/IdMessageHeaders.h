// The header block of a message, built into its LastGeneratedHeaders.
#pragma once

#include <optional>
#include <string>

#include "message/IdBodyText.h"

#include "message/IdHeaderCoder.h"

class TIdMessage;

struct TIdHeaderCharset {
    TTransfer Transfer;
    char Encoding;  // 'B' or 'Q'
    std::string CharSet;
};

// From the user's locale alone.
TIdHeaderCharset LocaleHeaderCharset();
// From the user's locale, then OnInitializeISO when it is assigned.
TIdHeaderCharset ChooseHeaderCharset(const TIdMessage& message);

// The message's own body as a labelled text, when the message leaves its
// charset and transfer encoding to the writer (no CharSet, no
// Content-Transfer-Encoding, no Content-Type but text/plain, no parts) and the body
// needs a label (8-bit or ISO-2022-JP text, or lines too long for 7bit).
// Empty otherwise: an ASCII body goes out as it is, without MIME fields.
std::optional<TIdBodyText> MessageBodyText(const TIdMessage& message);

// Applies the resolution rules and fills LastGeneratedHeaders.
void BuildHeaders(TIdMessage& message);
