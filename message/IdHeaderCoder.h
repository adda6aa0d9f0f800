// Encoded words (RFC 2047) for header values that are not plain ASCII,
// and the header form of mailboxes.
#pragma once

#include <string>
#include <string_view>

class TIdEMailAddressItem;
class TIdEMailAddressList;

enum TTransfer { ttSevenBit, ttEightBit, ttIso2022Jp };

// Double quote, "(", ")", ",", ".", ":", ";", "<", ">", "@", "[", "\", "]".
extern const std::string_view kAddressSpecials;

// The header form of free text, unfolded first: runs of words that need
// encoding (and words too long to fold) become encoded words of at most 75
// characters, cut only between characters ("Q" or "B"; "8" leaves the text
// as it is). The text goes under charset when it converts to it without
// loss, else under a label that names its bytes (LabelText); transfer is
// not consulted, the label alone decides the bytes. column: the octets
// before the value on its first line (field name and separator), so that
// the first encoded word still fits there.
std::string EncodeHeaderText(const std::string& text, std::string_view specials, char letter, TTransfer transfer,
                             const std::string& charset, size_t column = 0);

// Decodes the encoded words of ISO*, WINDOWS* and KOI8* charsets and drops
// NUL characters; other text is kept. The bytes are not converted.
std::string DecodeHeaderText(const std::string& text);

// Mailbox in header form: a quoted or encoded name and the bracketed address.
// With useAddressAsName an empty Name is first set to the Address.
// A name too long to stay on one line is encoded like one with 8-bit bytes.
std::string EncodeHeaderAddress(TIdEMailAddressItem& item, char letter, TTransfer transfer, const std::string& charset,
                                bool useAddressAsName = false, size_t column = 0);
std::string EncodeHeaderAddresses(TIdEMailAddressList& list, char letter, TTransfer transfer,
                                  const std::string& charset, bool useAddressAsName = false, size_t column = 0);
