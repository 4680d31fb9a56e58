#pragma once

#include "settings/EmulatorSettings.h"

#include <QString>

#include <memory>

class QSettings;

namespace tqx {

// What outlives a run: the selected port, the reply to V, the mount and the console window's
// position; every key is declared in settings/SettingsSchema.cpp.
using ConsoleSettingsValues = EmulatorSettings;

// The per-user settings store: application "TQX_Emulator", section "Defaults", every value held
// as text. On Windows it is the current user's registry key for such settings; elsewhere an INI
// file in the user's configuration folder.
class ConsoleSettings
{
public:
    ConsoleSettings();
    ~ConsoleSettings();

    // Reads the keys. A key that is missing, or whose text cannot be converted or lies
    // outside its range, gives that key's default.
    ConsoleSettingsValues load() const;
    // Returns false with a sentence for the user when the store could not be written.
    bool save(const ConsoleSettingsValues &values, QString *errorText = nullptr);

    QString location() const;

private:
    std::unique_ptr<QSettings> m_store;
};

} // namespace tqx
