#pragma once

#include "settings/EmulatorSettings.h"

#include <QString>

#include <optional>

class QSettings;

namespace tqx {

// Reads every setting the store holds, in the group it has open. A value the schema refuses
// leaves that setting as it was: a damaged value must not keep the window from starting.
void loadSettings(const QSettings &store, EmulatorSettings &values);
// Writes every setting that has a key.
void saveSettings(QSettings &store, const EmulatorSettings &values);

// Reads a file in the store's form (a [Defaults] section of key=value lines, as the window saves
// it) over `values`, for a headless run. Unlike the store, it refuses what it cannot take, since
// nobody is there to see a value quietly left at its default: the message names the file, the
// key and the value. Nothing is changed then.
std::optional<QString> readSettingsFile(const QString &path, EmulatorSettings &values);

} // namespace tqx
