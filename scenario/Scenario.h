#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <optional>
#include <utility>
#include <vector>

namespace tqx {

// Which commands of the client a step or an expectation is about: those that start with
// `prefix` (a letter, or the first bytes of a pass-through), are exactly `bytes`, or whose
// meaning, as the decoder words it, contains `meaning` (any case). What is not set matches all.
struct CommandMatch
{
    std::optional<QByteArray> prefix;
    std::optional<QByteArray> bytes;
    std::optional<QString> meaning;

    bool matches(const QByteArray &command, const QString &commandMeaning) const;
    // "`r`", "the bytes 50 02 11 24", "a command meaning \"goto\"", for reports.
    QString describe() const;
};

// Something the scenario does to the emulator: at a time on the mount's clock, or the first time
// the client sends a matching command. What it does is a request of the control channel (set,
// fault, pause, step, reset, drop ...), given in the step's own fields.
struct ScenarioStep
{
    int line = 0; // in the scenario file, for messages
    QString name; // for `after` in expectations; may be empty
    std::optional<qint64> atMountMs; // since the start of the run
    std::optional<CommandMatch> when;
    QJsonObject request;
};

// What must hold for the scenario to pass.
struct Expectation
{
    enum class Kind {
        Sends, // the client sends a matching command within `withinMs`
        DoesNotSend, // the client never sends a matching command
        MountWithin, // at the end the mount points within `toleranceDegrees` of the target
        Reconnects, // the client connects again within `withinMs` of the step `after`
    };

    int line = 0;
    Kind kind = Kind::Sends;
    QString name; // as the report shows it
    std::optional<CommandMatch> command;
    qint64 withinMs = 0; // real time, from the start of the run or from the step `after`
    QString after; // a step's name; empty: the start of the run
    double targetRaHours = 0; // right ascension and declination of the date
    double targetDecDegrees = 0;
    double toleranceDegrees = 0;
};

// What the checks of the client's own behaviour are told.
struct ClientCheckSettings
{
    double maxPollsPerSecond = 10; // of one and the same query
    QStringList ignored; // the names of checks whose findings do not fail the run
};

// A scenario as its file gives it.
struct Scenario
{
    QString path;
    QString name;
    QString port = QStringLiteral("virtual"); // as --port takes it
    qint64 timeLimitMs = 60'000; // real time; the run ends then at the latest
    QStringList client; // the client's command line, "{port}" filled in; empty: wait for one
    // The emulator's settings by their keys or option names, each as text, in the file's order.
    std::vector<std::pair<QString, QString>> settings;
    ClientCheckSettings checks;
    std::vector<ScenarioStep> steps;
    std::vector<Expectation> expectations;
};

} // namespace tqx
