// The window's field values as a toolkit-free model, addressed by component
// name, so that the actions, the settings and every front end read and write
// the same values. Each field has one kind:
//   Text       one-line edits      Text(name) / SetText(name, v)
//   Lines      memos               Lines(name) / SetLines(name, v);
//                                  MemoValue(name) = every line + CR LF
//   ItemIndex  radio groups        ItemIndex(name) / SetItemIndex(name, i),
//                                  clamped to -1 .. item count - 1
//   ActivePage the tab control     ActivePage() / SetActivePage(tab name),
//                                  "" when no tab is active
// A default-constructed model holds the window's design-time values.
// Unknown names or a wrong kind raise EFieldError.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "core/IdException.h"
#include "core/StringList.h"

enum class TFieldKind { Text, Lines, ItemIndex, ActivePage };

class EFieldError : public Exception {
public:
    using Exception::Exception;
};

// Names of the tab sheets, in tab order.
inline const char* const TabSheetMAPI = "TabSheetMAPI";
inline const char* const TabSheetSMTP = "TabSheetSMTP";
inline const char* const TabSheetSmtpCript = "TabSheetSmtpCript";
inline const char* const TabSheetMailto = "TabSheetMailto";
inline const char* const PageControlName = "PageControl";

class TFieldModel {
public:
    TFieldModel();

    bool HasField(const std::string& name) const;
    TFieldKind Kind(const std::string& name) const;
    // Every field name, in the order the window lays them out.
    const std::vector<std::string>& FieldNames() const { return order_; }

    const std::string& Text(const std::string& name) const;
    void SetText(const std::string& name, const std::string& value);

    const TStringList& Lines(const std::string& name) const;
    void SetLines(const std::string& name, const TStringList& value);
    std::string MemoValue(const std::string& name) const { return Lines(name).Text(); }

    int ItemIndex(const std::string& name) const;
    void SetItemIndex(const std::string& name, int value);
    int ItemCount(const std::string& name) const;

    const std::string& ActivePage() const { return activePage_; }
    // A name that is not a tab sheet leaves no tab active.
    void SetActivePage(const std::string& tabName);
    static const std::vector<std::string>& TabSheetNames();
    static bool IsTabSheet(const std::string& name);

private:
    struct TField {
        TFieldKind kind;
        std::string text;
        TStringList lines;
        int itemIndex = -1;
        int itemCount = 0;
    };
    void AddText(const std::string& name);
    void AddLines(const std::string& name);
    void AddRadio(const std::string& name, int count, int itemIndex);
    const TField& Field(const std::string& name, TFieldKind kind) const;
    TField& Field(const std::string& name, TFieldKind kind);

    std::map<std::string, TField> fields_;
    std::vector<std::string> order_;
    std::string activePage_ = TabSheetSmtpCript;
};
