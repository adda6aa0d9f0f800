// The SASL mechanisms configured on the SMTP client, in order, and the
// login that picks one of those the server offers.
#pragma once

#include "core/Component.h"
#include "core/StringList.h"
#include "smtp/IdSASL.h"

#include <memory>
#include <string>
#include <vector>

class TIdTCPConnection;
class TIdSASLEntries;

class TIdSASLListEntry {
public:
    explicit TIdSASLListEntry(TIdSASLEntries* collection = nullptr) : collection_(collection) {}

    TIdSASL* SASL() const { return sasl_; }
    // Not owned; the collection's owner asks to hear when it goes away.
    void SetSASL(TIdSASL* value);
    void Assign(const TIdSASLListEntry& source) { SetSASL(source.SASL()); }

private:
    TIdSASLEntries* collection_;
    TIdSASL* sasl_ = nullptr;
};

class TIdSASLEntries {
public:
    // `owner` (the SMTP client) is told when a referenced mechanism is
    // destroyed and then calls RemoveMechanism.
    explicit TIdSASLEntries(TComponent* owner = nullptr) : owner_(owner) {}
    TIdSASLEntries(const TIdSASLEntries&) = delete;
    TIdSASLEntries& operator=(const TIdSASLEntries&) = delete;

    TComponent* Owner() const { return owner_; }
    TIdSASLListEntry* Add();
    int Count() const { return static_cast<int>(items_.size()); }
    TIdSASLListEntry* Items(int index) const { return items_.at(static_cast<size_t>(index)).get(); }
    void Delete(int index);
    void Clear() { items_.clear(); }

    // Deletes, last to first, every entry that refers to `component`.
    void RemoveMechanism(TComponent* component);

    // The mechanism names offered by lines such as "AUTH LOGIN PLAIN" or
    // "AUTH=LOGIN", upper-cased, without duplicates.
    static std::unique_ptr<TStringList> ParseAuthMechanisms(const TStringList& lines, const std::string& keyword);

    // Tries the configured mechanisms the server offers, the last configured
    // first; answers true when the server accepted one.
    bool LoginWithSASL(const std::string& command, const TStringList& okReplies, const TStringList& continueReplies,
                       TIdTCPConnection& connection, const TStringList& lines, const std::string& keyword);

private:
    std::vector<TIdSASL*> Candidates(const TStringList& offered) const;
    static bool LoginWith(TIdSASL& mechanism, const std::string& command, const TStringList& okReplies,
                          const TStringList& continueReplies, TIdTCPConnection& connection);

    TComponent* owner_;
    std::vector<std::unique_ptr<TIdSASLListEntry>> items_;
};
