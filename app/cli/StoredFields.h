// The fields the window stored, for the command line: read, never written.
#pragma once

#include <memory>

#include "app/FieldModel.h"
#include "app/SettingsStore.h"

// The current user's stored settings, opened for reading only (writes are
// dropped): the registry file on Linux, the registry itself on Windows.
std::unique_ptr<TSettingsStore> OpenStoredSettings();

// The stored fields restored into `fields` as the window restores them.
void RestoreStoredFields(TFieldModel& fields);
