#include "settings/SettingsStore.h"

#include "settings/Logging.h"

#include "settings/SettingsSchema.h"

#include <QFile>
#include <QSettings>

namespace tqx {

void loadSettings(const QSettings &store, EmulatorSettings &values)
{
    qCDebug(lcSettings).noquote() << "reading the settings from" << store.fileName();
    for (const Setting &setting : settingsSchema()) {
        if (setting.isStored() && store.contains(setting.key)) {
            const QString text = store.value(setting.key).toString();
            // A damaged value keeps its default; the log says which.
            if (const auto problem = setting.read(values, text))
                qCDebug(lcSettings).noquote()
                        << "kept the default of" << setting.key << "for" << text;
        }
    }
}

void saveSettings(QSettings &store, const EmulatorSettings &values)
{
    qCDebug(lcSettings).noquote() << "writing the settings to" << store.fileName();
    for (const Setting &setting : settingsSchema()) {
        // A key without a writer is one only a headless run's file gives.
        if (setting.isStored() && setting.write)
            store.setValue(setting.key, setting.write(values));
    }
}

std::optional<QString> readSettingsFile(const QString &path, EmulatorSettings &values)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("cannot read the settings file %1: %2.")
                .arg(path, file.errorString());
    file.close();

    QSettings store(path, QSettings::IniFormat);
    if (store.status() != QSettings::NoError)
        return QStringLiteral("%1: a line is not key=value.").arg(path);
    const QString group = QStringLiteral("Defaults/");
    for (const QString &key : store.allKeys()) {
        // A value with an unquoted comma reads as a list; it is the text that was written.
        const QString text = store.value(key).toStringList().join(QLatin1Char(','));
        if (!key.startsWith(group) || !settingWithKey(key.mid(group.size())))
            return QStringLiteral("%1: %2=%3: there is no such setting in the [Defaults] section.")
                    .arg(path, key, text);
    }

    EmulatorSettings read = values;
    store.beginGroup(QStringLiteral("Defaults"));
    for (const Setting &setting : settingsSchema()) {
        if (!setting.isStored() || !store.contains(setting.key))
            continue;
        const QString text = store.value(setting.key).toStringList().join(QLatin1Char(','));
        if (const std::optional<SettingProblem> problem = setting.read(read, text))
            return QStringLiteral("%1: %2").arg(path, problem->describe(setting.key));
    }
    values = read;
    return std::nullopt;
}

} // namespace tqx
