#include "app/FieldModel.h"

#include <algorithm>

TFieldModel::TFieldModel() {
    AddText("edtUserName");
    AddText("edtPassword");
    AddRadio("edtShowDialog_mapi", 2, 1);
    AddRadio("edtUseAppHandle_mapi", 2, 0);
    AddText("edtHost_smtp");
    AddText("edtPort_smtp");
    AddRadio("edtAuthType_smtp", 3, 1);
    AddText("edtHost_smtpcript");
    AddText("edtPort_smtpcript");
    AddRadio("edtAuthType_smtpcript", 3, 0);
    AddRadio("edtMethod", 4, 2);
    AddRadio("edtUseTLS", 4, 0);
    AddText("edtSender");
    AddLines("edtRecipients");
    AddLines("edtCCRecipients");
    AddText("edtSubject");
    AddLines("edtBody");
    AddText("edtAttachFile1");
    AddText("edtAttachFile2");
    fields_[PageControlName] = TField{TFieldKind::ActivePage, {}, {}, -1, 0};
    order_.push_back(PageControlName);
}

void TFieldModel::AddText(const std::string& name) {
    fields_[name] = TField{TFieldKind::Text, {}, {}, -1, 0};
    order_.push_back(name);
}

void TFieldModel::AddLines(const std::string& name) {
    fields_[name] = TField{TFieldKind::Lines, {}, {}, -1, 0};
    order_.push_back(name);
}

void TFieldModel::AddRadio(const std::string& name, int count, int itemIndex) {
    fields_[name] = TField{TFieldKind::ItemIndex, {}, {}, itemIndex, count};
    order_.push_back(name);
}

bool TFieldModel::HasField(const std::string& name) const { return fields_.count(name) != 0; }

TFieldKind TFieldModel::Kind(const std::string& name) const {
    auto it = fields_.find(name);
    if (it == fields_.end()) throw EFieldError(Format("Component %s not found", name.c_str()));
    return it->second.kind;
}

const TFieldModel::TField& TFieldModel::Field(const std::string& name, TFieldKind kind) const {
    auto it = fields_.find(name);
    if (it == fields_.end()) throw EFieldError(Format("Component %s not found", name.c_str()));
    if (it->second.kind != kind) throw EFieldError(Format("Invalid property for %s", name.c_str()));
    return it->second;
}

TFieldModel::TField& TFieldModel::Field(const std::string& name, TFieldKind kind) {
    return const_cast<TField&>(static_cast<const TFieldModel*>(this)->Field(name, kind));
}

const std::string& TFieldModel::Text(const std::string& name) const { return Field(name, TFieldKind::Text).text; }
void TFieldModel::SetText(const std::string& name, const std::string& value) { Field(name, TFieldKind::Text).text = value; }

const TStringList& TFieldModel::Lines(const std::string& name) const { return Field(name, TFieldKind::Lines).lines; }
void TFieldModel::SetLines(const std::string& name, const TStringList& value) { Field(name, TFieldKind::Lines).lines = value; }

int TFieldModel::ItemIndex(const std::string& name) const { return Field(name, TFieldKind::ItemIndex).itemIndex; }
int TFieldModel::ItemCount(const std::string& name) const { return Field(name, TFieldKind::ItemIndex).itemCount; }

void TFieldModel::SetItemIndex(const std::string& name, int value) {
    TField& field = Field(name, TFieldKind::ItemIndex);
    field.itemIndex = std::clamp(value, -1, field.itemCount - 1);
}

const std::vector<std::string>& TFieldModel::TabSheetNames() {
    static const std::vector<std::string> names = {TabSheetMAPI, TabSheetSMTP, TabSheetSmtpCript, TabSheetMailto};
    return names;
}

bool TFieldModel::IsTabSheet(const std::string& name) {
    const auto& names = TabSheetNames();
    return std::find(names.begin(), names.end(), name) != names.end();
}

void TFieldModel::SetActivePage(const std::string& tabName) {
    activePage_ = IsTabSheet(tabName) ? tabName : std::string();
}
