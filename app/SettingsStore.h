// Where TFormStorage keeps its values (toolkit-free): string values in keys
// addressed by path below one registry root ("Software\TelVara\Base\...").
// Texts are 8-bit ANSI. A value of another kind makes ReadString raise the
// registry layer's exception, "Invalid data type for '<name>'".
//   ReadString(key, name, value)  false when the key or value is missing
//   WriteString(key, name, value) creates missing keys
//   CreateKey(key), DeleteKey(key) (with its subkeys)
//   Commit()                      makes the writes since the last Commit
//                                 durable in one step
#pragma once

#include <string>

class TSettingsStore {
public:
    virtual ~TSettingsStore() = default;
    virtual bool ReadString(const std::string& key, const std::string& name, std::string& value) = 0;
    virtual void WriteString(const std::string& key, const std::string& name, const std::string& value) = 0;
    virtual void CreateKey(const std::string& key) = 0;
    virtual void DeleteKey(const std::string& key) = 0;
    virtual void Commit() = 0;
};
