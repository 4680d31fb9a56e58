#pragma once

#include "scenario/Scenario.h"

#include <QString>
#include <QStringList>

#include <deque>
#include <optional>
#include <vector>

namespace tqx {

// Where the mount points, right ascension and declination of the date.
struct SkyPointing
{
    double raHours = 0;
    double decDegrees = 0;
};

// How one expectation, or one step, of a scenario came out.
struct ScenarioResult
{
    enum class State { Pending, Passed, Failed };

    QString name;
    int line = 0; // in the scenario file
    State state = State::Pending;
    qint64 decidedAtMs = -1; // since the start of the run
    QString message; // what happened, for the report
    // The exchanges and events just before a failure, as the report shows them.
    QStringList around;
};

// Follows a scenario's timeline and decides its expectations from what the run reports: the
// client's commands, its coming and going, the time (real, since the start of the run; and the
// mount's, for the steps), and at the end where the mount points. It runs nothing itself: the
// runner asks it which steps are due and tells it what came of them.
class ScenarioJudge
{
public:
    // How many of the latest exchanges and events a failure shows.
    static constexpr int linesAround = 12;

    explicit ScenarioJudge(const Scenario &scenario);

    // The steps whose mount time has come and that have not run; each is returned once.
    std::vector<std::size_t> stepsDue(qint64 mountElapsedMs);
    // The steps that wait for a command like this one and have not run; each is returned once.
    std::vector<std::size_t> stepsTriggeredBy(const QByteArray &command, const QString &meaning);
    // What a step's request got: a step the emulator refused fails the run.
    void stepRan(std::size_t step, qint64 atMs, const QString &error);

    void commandSent(qint64 atMs, const QByteArray &command, const QString &meaning,
                     const QString &line);
    void note(const QString &line); // an event, for the lines around a failure
    void clientConnected(qint64 atMs);
    // Decides what has run out of time.
    void tick(qint64 atMs);
    // Decides everything still pending: the run ended at `atMs`, for `why`.
    void finish(qint64 atMs, const std::optional<SkyPointing> &pointing, const QString &why);

    // Every expectation decided and every step run: nothing more can happen that matters.
    bool isSettled() const;
    const std::vector<ScenarioResult> &expectations() const { return m_expectations; }
    // The steps that could not run (refused, or never due), as results.
    const std::vector<ScenarioResult> &stepFailures() const { return m_stepFailures; }
    bool passed() const;

    // Degrees between two points of the sky.
    static double separationDegrees(const SkyPointing &a, const SkyPointing &b);

private:
    std::optional<qint64> windowStart(const Expectation &expectation) const;
    void decide(std::size_t index, ScenarioResult::State state, qint64 atMs,
                const QString &message);
    void remember(const QString &line);

    const Scenario &m_scenario;
    std::vector<ScenarioResult> m_expectations;
    std::vector<ScenarioResult> m_stepFailures;
    std::vector<std::optional<qint64>> m_stepRanAtMs;
    std::vector<bool> m_stepTaken;
    std::deque<QString> m_recent;
};

} // namespace tqx
