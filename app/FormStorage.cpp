#include "app/FormStorage.h"

#include <vector>

#include "app/DebugTrace.h"
#include "app/TextHelpers.h"
#include "core/IdException.h"

namespace {

const char* const DefaultStoredProps[] = {
    "edtAuthType_smtpcript.ItemIndex", "edtBody.Lines",          "edtHost_smtpcript.Text",
    "edtMethod.ItemIndex",             "edtPort_smtpcript.Text", "edtRecipients.Lines",
    "edtSender.Text",                  "edtSubject.Text",        "edtUserName.Text",
    "edtUseTLS.ItemIndex",             "edtHost_smtp.Text",      "edtPort_smtp.Text",
    "edtAuthType_smtp.ItemIndex",      "PageControl.ActivePage", "edtShowDialog_mapi.ItemIndex",
    "edtUseAppHandle_mapi.ItemIndex",  "edtAttachFile1.Text",    "edtAttachFile2.Text",
    "edtCCRecipients.Lines",
};

int IntOr(const std::string& text, int defaultValue) {
    int32_t value = 0;
    return TryStrictToInt(text, value) ? value : defaultValue;
}

// "a,b,c,d"; a missing or unreadable number takes its default.
std::vector<int> FourNumbers(const std::string& text, const std::vector<int>& defaults) {
    std::vector<int> numbers = defaults;
    size_t start = 0;
    for (size_t i = 0; i < 4 && start <= text.size(); ++i) {
        const size_t comma = text.find(',', start);
        const std::string piece = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        numbers[i] = IntOr(Trim(piece), defaults[i]);
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return numbers;
}

std::string FourText(int a, int b, int c, int d) { return Format("%d,%d,%d,%d", a, b, c, d); }

TFieldKind PropertyKind(const std::string& property) {
    if (SameText(property, "Text")) return TFieldKind::Text;
    if (SameText(property, "Lines")) return TFieldKind::Lines;
    if (SameText(property, "ItemIndex")) return TFieldKind::ItemIndex;
    if (SameText(property, "ActivePage")) return TFieldKind::ActivePage;
    throw EFieldError(Format("Unknown property %s", property.c_str()));
}

TWindowShowState ShowState(int showCmd) {
    switch (showCmd) {
        case 2: case 6: case 7: return TWindowShowState::Minimized;
        case 3: return TWindowShowState::Maximized;
        default: return TWindowShowState::Normal;
    }
}

}  // namespace

TFormStorage::TFormStorage(TFieldModel& fields, TSettingsStore& store, TPlacementHost& host)
    : fields_(fields), store_(store), host_(host) {
    for (const char* entry : DefaultStoredProps) storedProps_.Add(entry);
    LoadStoredProps();
}

void TFormStorage::LoadStoredProps() {
    TStringList valid;
    for (const std::string& entry : storedProps_) {
        const size_t dot = entry.find('.');
        if (dot == std::string::npos) continue;
        TStoredProp prop{Trim(entry.substr(0, dot)), Trim(entry.substr(dot + 1))};
        if (prop.component.empty() || prop.property.empty() || !fields_.HasField(prop.component)) continue;
        props_.push_back(prop);
        valid.Add(entry);
    }
    storedProps_ = valid;
}

std::string TFormStorage::LinesKey(const std::string& component, const std::string& property) const {
    return iniFileName_ + "\\" + iniSection_ + "." + component + "_" + property;
}

std::string TFormStorage::ScreenName(const std::string& name) const {
    return name + Format("(%dx%d)", host_.ScreenWidth(), host_.ScreenHeight());
}

bool TFormStorage::ReadValue(const std::string& name, std::string& value) {
    return store_.ReadString(SectionKey(), name, value);
}

int TFormStorage::ReadInt(const std::string& name, int defaultValue) {
    std::string text;
    return ReadValue(name, text) ? IntOr(Trim(text), defaultValue) : defaultValue;
}

void TFormStorage::Restore() {
    CreateBaseKey();
    int storedVersion = 0;
    try {
        storedVersion = ReadInt("FormVersion", 0);
    } catch (const Exception&) {
        storedVersion = 0;
    }
    if (storedVersion >= version_) {
        // A bad placement value must not cost the user the stored fields
        // (they would be overwritten with defaults at the next close).
        std::exception_ptr placementError;
        try {
            RestorePlacement();
        } catch (...) {
            placementError = std::current_exception();
        }
        for (const TStoredProp& prop : props_) RestoreProperty(prop);
        restored_ = true;
        store_.Commit();
        if (placementError) std::rethrow_exception(placementError);
    }
    restored_ = true;
    store_.Commit();
}

// The stored values can be read even where the key cannot be created (a
// folder that cannot be written); the save will say so if it fails too.
void TFormStorage::CreateBaseKey() {
    try {
        store_.CreateKey(iniFileName_);
        store_.Commit();
    } catch (const Exception& e) {
        DebugTrace("FormStorage: " + iniFileName_ + " not created, " + e.Message());
    }
}

void TFormStorage::RestorePlacement() {
    TFormPlacement placement = host_.Placement();
    placement.Flags = ReadInt("Flags", placement.Flags);
    auto readEither = [this](const std::string& name, std::string& text) {
        if (ReadValue(ScreenName(name), text) && !text.empty()) return true;
        return ReadValue(name, text) && !text.empty();
    };
    std::string minMax, norm;
    const bool haveMinMax = readEither("MinMaxPos", minMax);
    const bool haveNorm = readEither("NormPos", norm);
    if (haveMinMax) {
        const std::vector<int> n = FourNumbers(minMax, {0, 0, 0, 0});
        placement.MinX = n[0], placement.MinY = n[1], placement.MaxX = n[2], placement.MaxY = n[3];
    }
    if (haveNorm) {
        const std::vector<int> n =
            FourNumbers(norm, {placement.Left, placement.Top, placement.Right, placement.Bottom});
        placement.Left = n[0], placement.Top = n[1], placement.Right = n[2], placement.Bottom = n[3];
    }
    const int pixelsPerInch = ReadInt("PixelsPerInch", host_.PixelsPerInch());
    if ((haveMinMax || haveNorm) && pixelsPerInch == host_.PixelsPerInch() && placement.Left < placement.Right)
        host_.ApplyPlacement(placement);
    host_.ApplyShowState(ShowState(ReadInt("ShowCmd", 0)));
}

void TFormStorage::RestoreProperty(const TStoredProp& prop) {
    try {
        const TFieldKind kind = PropertyKind(prop.property);
        if (kind != fields_.Kind(prop.component)) return;
        if (kind == TFieldKind::Lines) {
            const std::string key = LinesKey(prop.component, prop.property);
            std::string text;
            const int count = store_.ReadString(key, "Count", text) ? IntOr(Trim(text), 0) : 0;
            if (count <= 0) return;
            TStringList lines;
            for (int i = 0; i < count; ++i) {
                std::string item;
                lines.Add(store_.ReadString(key, Format("Item%d", i), item) ? item : std::string());
            }
            fields_.SetLines(prop.component, lines);
            return;
        }
        std::string text;
        if (!ReadValue(prop.component + "_" + prop.property, text)) return;
        text = Trim(text);
        if (kind == TFieldKind::Text)
            fields_.SetText(prop.component, text);
        else if (kind == TFieldKind::ItemIndex)
            fields_.SetItemIndex(prop.component, IntOr(text, 0));
        else
            fields_.SetActivePage(SameText(text, "(null)") ? std::string() : text);
    } catch (const Exception&) {
        // A value that cannot be applied leaves this field alone.
    }
}

void TFormStorage::Save(bool visible) {
    if (!restored_) return;
    store_.CreateKey(SectionKey());
    store_.WriteString(SectionKey(), "FormVersion", Format("%d", version_));
    SavePlacement(visible);
    for (const TStoredProp& prop : props_) SaveProperty(prop);
    store_.Commit();
    saved_ = true;
}

void TFormStorage::SavePlacement(bool visible) {
    const TFormPlacement placement = host_.Placement();
    const std::string key = SectionKey();
    const int showCmd = host_.ApplicationMinimized() ? 2 : placement.ShowCmd;
    store_.WriteString(key, "Flags", Format("%d", placement.Flags));
    store_.WriteString(key, "ShowCmd", Format("%d", showCmd));
    store_.WriteString(key, "PixelsPerInch", Format("%d", host_.PixelsPerInch()));
    const std::string minMax = FourText(placement.MinX, placement.MinY, placement.MaxX, placement.MaxY);
    const std::string norm = FourText(placement.Left, placement.Top, placement.Right, placement.Bottom);
    store_.WriteString(key, "MinMaxPos", minMax);
    store_.WriteString(key, ScreenName("MinMaxPos"), minMax);
    store_.WriteString(key, "NormPos", norm);
    store_.WriteString(key, ScreenName("NormPos"), norm);
    store_.WriteString(key, "Visible", visible ? "1" : "0");
}

void TFormStorage::SaveProperty(const TStoredProp& prop) {
    const TFieldKind kind = PropertyKind(prop.property);
    const std::string name = prop.component + "_" + prop.property;
    switch (kind) {
        case TFieldKind::Text: store_.WriteString(SectionKey(), name, Trim(fields_.Text(prop.component))); break;
        case TFieldKind::ItemIndex:
            store_.WriteString(SectionKey(), name, Format("%d", fields_.ItemIndex(prop.component)));
            break;
        case TFieldKind::ActivePage: {
            const std::string& page = fields_.ActivePage();
            store_.WriteString(SectionKey(), name, page.empty() ? "(null)" : page);
            break;
        }
        case TFieldKind::Lines: {
            const std::string key = LinesKey(prop.component, prop.property);
            store_.DeleteKey(key);
            const TStringList& lines = fields_.Lines(prop.component);
            if (lines.Empty()) break;
            store_.WriteString(key, "Count", Format("%d", lines.Count()));
            for (int i = 0; i < lines.Count(); ++i) store_.WriteString(key, Format("Item%d", i), lines[i]);
            break;
        }
    }
}
