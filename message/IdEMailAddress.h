// Mailboxes (display name and address) and ordered lists of them, with the
// lenient free-text parser used for every address field of a message.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/Component.h"
#include "core/IdException.h"

class EIdEmailParseError : public EIdException {
public:
    using EIdException::EIdException;
};

class TIdEMailAddressList;

class TIdEMailAddressItem {
public:
    // An item outside any list (the message's Sender, for example).
    TIdEMailAddressItem() = default;
    // Freeing an item that belongs to a list removes it from that list.
    virtual ~TIdEMailAddressItem();
    TIdEMailAddressItem(const TIdEMailAddressItem&) = delete;
    TIdEMailAddressItem& operator=(const TIdEMailAddressItem&) = delete;

    const std::string& Address() const { return address_; }
    void SetAddress(const std::string& value) { address_ = value; }
    const std::string& Name() const { return name_; }
    void SetName(const std::string& value) { name_ = value; }

    // Display form: the name (quoted when needed) and the address.
    std::string Text() const;
    // Parses free text into Name and Address; raises EIdEmailParseError
    // "@ Outside address" for an "@" after a bracketed address.
    void SetText(const std::string& value);

    std::string User() const;
    void SetUser(const std::string& value);
    std::string Domain() const;
    void SetDomain(const std::string& value);

    void Assign(const TIdEMailAddressItem& source);

    TIdEMailAddressList* Collection() const { return collection_; }

private:
    friend class TIdEMailAddressList;
    std::string AddressForm() const;

    std::string address_;
    std::string name_;
    TIdEMailAddressList* collection_ = nullptr;
};

class TIdEMailAddressList {
public:
    explicit TIdEMailAddressList(TComponent* owner = nullptr) : owner_(owner) {}
    virtual ~TIdEMailAddressList();
    TIdEMailAddressList(const TIdEMailAddressList&) = delete;
    TIdEMailAddressList& operator=(const TIdEMailAddressList&) = delete;

    TComponent* Owner() const { return owner_; }

    TIdEMailAddressItem* Add();
    TIdEMailAddressItem* Items(int index) const { return items_.at(static_cast<size_t>(index)); }
    int Count() const { return static_cast<int>(items_.size()); }
    void Delete(int index);
    void Clear();

    // Every item's Text joined by ", ".
    std::string EMailAddresses() const;
    // Clears the list and parses comma-separated text (groups, quotes and
    // comments understood); a CR or LF separates as a comma does, also
    // inside quotes. Empty and "<>" entries give no item.
    void SetEMailAddresses(const std::string& value);

private:
    friend class TIdEMailAddressItem;
    void Detach(TIdEMailAddressItem* item);
    // Adds the addresses of one line of text.
    void AddLine(std::string_view line);
    // Adds an item parsed from text; frees it again when it reads back blank
    // (or as "<>" when dropEmptyBrackets).
    void AddParsed(const std::string& text, bool dropEmptyBrackets);

    TComponent* owner_;
    std::vector<TIdEMailAddressItem*> items_;
};
