#pragma once

#include "settings/EmulatorSettings.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

namespace tqx {

// Why a value was refused, in one of two forms: what the value must be ("degrees per second"),
// which the caller completes with the name it was given under and the value; or a whole sentence
// that already says which value it refuses and why.
struct SettingProblem
{
    QString text;
    QString value; // as it was judged (a word is judged in lower case)
    bool sentence = false;

    // "NAME must be TEXT, not "VALUE"." or "NAME: SENTENCE"; NAME is the option or the key.
    QString describe(const QString &name) const;
};

// The range a number must lie in: the window's boxes take it, and what lies outside is refused.
struct SettingBounds
{
    double lowest = 0;
    double highest = 0;
    bool highestIncluded = true; // false: up to but not including `highest` (a full turn)

    bool contain(double value) const
    {
        return value >= lowest && (highestIncluded ? value <= highest : value < highest);
    }
};

// One setting, declared once: the key the settings store keeps it under, the command-line option
// that sets it, its kind, bounds, words and help text, and how its text is read and written. A
// setting may have only a key (the window's own) or only an option (one the program reads
// itself, or one that sets several keys at once).
struct Setting
{
    enum class Kind {
        Flag, // stored "1" or "0"; an option without a value
        Words, // one of `words`, in any case
        Integer, // a whole number within `bounds`
        Number, // a number within `bounds`
        Text,
        Program, // an option the command line reads itself: no key, no reading here
    };

    QString key; // empty: not stored
    QString option; // without its dashes; empty: no command-line option
    Kind kind = Kind::Text;
    QString valueName; // the option's value in --help ("DEG"); empty for flags
    std::optional<SettingBounds> bounds;
    QStringList words;
    // What giving a flag option stores: "1", or "0" for an option that turns a setting off.
    QString flagText = QStringLiteral("1");
    // Read after the others on the command line: the setting it changes depends on them.
    bool readLast = false;
    // Given more than once on the command line, each value is read in turn.
    bool repeatable = false;
    // The option's help, with the defaults the command line starts from.
    std::function<QString(const EmulatorSettings &defaults)> help;
    // Takes `text` into `values`, or leaves them as they are and says why not.
    std::function<std::optional<SettingProblem>(EmulatorSettings &values, const QString &text)>
            read;
    // The text the store keeps; not set when the setting has no key, or when only a headless
    // run's settings file gives it (the window does not save it).
    std::function<QString(const EmulatorSettings &values)> write;

    bool isStored() const { return !key.isEmpty(); }
    bool hasOption() const { return !option.isEmpty(); }
};

// Every setting, in the order --help lists their options.
const std::vector<Setting> &settingsSchema();
const Setting *settingWithKey(const QString &key);
const Setting *settingWithOption(const QString &option);

} // namespace tqx
