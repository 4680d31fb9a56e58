#pragma once

#include "scenario/Scenario.h"

#include <QString>

#include <variant>

namespace tqx {

// Why a scenario file cannot be run: where in it, and what is wrong.
struct ScenarioError
{
    QString path;
    int line = 0; // 0: the file as a whole
    QString text;

    // "goto.toml:12: within must be a duration such as 5s or 250ms, not "soon"."
    QString describe() const;
};

// Reads a scenario from a TOML file (see the README's "Testing your client" for its form). Every
// value is checked before anything runs: the emulator's settings against the settings schema, the
// steps' requests for their form, the expectations for what they need. The first problem found
// is returned, naming its line.
std::variant<Scenario, ScenarioError> readScenario(const QString &path);
std::variant<Scenario, ScenarioError> readScenarioText(const QByteArray &text, const QString &path);

// "90s", "250ms", "2m", "1h" or a number of seconds; nothing when `text` is none of these.
std::optional<qint64> durationMs(const QString &text);

} // namespace tqx
