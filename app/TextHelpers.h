// Text helpers shared by every action of the program (toolkit-free):
//   NextToken(text, position, delimiters)  next token, 1-based in-out position
//   TextToBool(text, default)              "1STYsty" true, "0FNfn" false
//   TextToInt(text)                        number found in a text, 0 on failure
//   NormalizeRecipients(text, separator)   free-form address list to
//                                          "<a>" separator "<b>" ...
//   RecipientSeparator                     the separator the window passes
#pragma once

#include <bitset>
#include <cstdint>
#include <string>

using TCharSet = std::bitset<256>;

// The set made of the given characters.
TCharSet MakeCharSet(const std::string& chars);

std::string NextToken(const std::string& text, int& position, const TCharSet& delimiters);
bool TextToBool(const std::string& text, bool defaultValue);
int32_t TextToInt(const std::string& text);
std::string NormalizeRecipients(const std::string& text, const std::string& separator);

// Blank, comma, CR, LF: what the window puts between normalised recipients.
inline const std::string RecipientSeparator = " ,\r\n";

// Codes 0 to 30, blank, comma and semicolon.
const TCharSet& RecipientDelimiters();

// The strict conversion behind TextToInt: leading blanks, then a signed
// decimal or an unsigned "$"/"x"/"0x" hexadecimal number, nothing after it,
// inside the signed 32-bit range. False when the text is not such a number.
bool TryStrictToInt(const std::string& text, int32_t& value);
