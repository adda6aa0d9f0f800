// The header block of a message, built into its LastGeneratedHeaders.
#pragma once

#include <string>

#include "message/IdHeaderCoder.h"

class TIdMessage;

struct TIdHeaderCharset {
    TTransfer Transfer;
    char Encoding;  // 'B' or 'Q'
    std::string CharSet;
};

// From the user's locale, then OnInitializeISO when it is assigned.
TIdHeaderCharset ChooseHeaderCharset(const TIdMessage& message);

// Applies the resolution rules and fills LastGeneratedHeaders.
void BuildHeaders(TIdMessage& message);
