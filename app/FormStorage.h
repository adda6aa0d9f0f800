// Remembers the window's placement and 19 of its fields between runs
// (toolkit-free). Restore() runs when the window is first shown, before
// FormShow; Save() when the window closes (or at its destruction when it
// did not close). Values live in the section "TFormMailSortello" under
// "Software\TelVara\Base"; memo lines in the keys
// "TFormMailSortello.<component>_Lines" with "Count" and "Item%d".
// The window provides its placement through TPlacementHost.
#pragma once

#include <string>

#include "app/FieldModel.h"
#include "app/SettingsStore.h"
#include "core/StringList.h"

struct TFormPlacement {
    int Flags = 0;
    int ShowCmd = 1;
    int MinX = -1, MinY = -1, MaxX = -1, MaxY = -1;
    int Left = 0, Top = 0, Right = 0, Bottom = 0;
};

enum class TWindowShowState { Normal, Minimized, Maximized };

class TPlacementHost {
public:
    virtual ~TPlacementHost() = default;
    virtual TFormPlacement Placement() const = 0;
    // Switches automatic centring off and takes the stored rectangle.
    virtual void ApplyPlacement(const TFormPlacement& placement) = 0;
    // Minimized: the window stays normal and the application is minimized.
    virtual void ApplyShowState(TWindowShowState state) = 0;
    virtual bool ApplicationMinimized() const = 0;
    virtual int ScreenWidth() const = 0;
    virtual int ScreenHeight() const = 0;
    virtual int PixelsPerInch() const = 0;
};

class TFormStorage {
public:
    TFormStorage(TFieldModel& fields, TSettingsStore& store, TPlacementHost& host);

    const std::string& IniFileName() const { return iniFileName_; }
    const std::string& IniSection() const { return iniSection_; }
    int Version() const { return version_; }
    // The valid entries ("component.property"), in order.
    const TStringList& StoredProps() const { return storedProps_; }

    // The placement part of Restore() raises (for the global error display);
    // the stored fields are restored nonetheless, one by one, also where
    // nothing can be written.
    void Restore();
    void Save(bool visible);
    bool Restored() const { return restored_; }
    bool Saved() const { return saved_; }

    std::string SectionKey() const { return iniFileName_ + "\\" + iniSection_; }
    std::string LinesKey(const std::string& component, const std::string& property) const;

private:
    struct TStoredProp {
        std::string component;
        std::string property;
    };
    void LoadStoredProps();
    void CreateBaseKey();
    bool ReadValue(const std::string& name, std::string& value);
    int ReadInt(const std::string& name, int defaultValue);
    void RestorePlacement();
    void RestoreProperty(const TStoredProp& prop);
    void SavePlacement(bool visible);
    void SaveProperty(const TStoredProp& prop);
    std::string ScreenName(const std::string& name) const;

    TFieldModel& fields_;
    TSettingsStore& store_;
    TPlacementHost& host_;
    std::string iniFileName_ = "Software\\TelVara\\Base";
    std::string iniSection_ = "TFormMailSortello";
    int version_ = 0;
    TStringList storedProps_;
    std::vector<TStoredProp> props_;
    bool restored_ = false;
    bool saved_ = false;
};
