#include "scenario/ScenarioJudge.h"

#include <algorithm>
#include <cmath>

namespace tqx {

namespace {

QString seconds(qint64 ms)
{
    return QString::number(double(ms) / 1000, 'f', 3) + QStringLiteral(" s");
}

constexpr double radiansPerDegree = 3.14159265358979323846 / 180;

} // namespace

ScenarioJudge::ScenarioJudge(const Scenario &scenario)
    : m_scenario(scenario)
    , m_stepRanAtMs(scenario.steps.size())
    , m_stepTaken(scenario.steps.size(), false)
{
    for (const Expectation &expectation : scenario.expectations)
        m_expectations.push_back(
                {expectation.name, expectation.line, ScenarioResult::State::Pending, -1, {}, {}});
}

std::vector<std::size_t> ScenarioJudge::stepsDue(qint64 mountElapsedMs)
{
    std::vector<std::size_t> due;
    for (std::size_t i = 0; i < m_scenario.steps.size(); ++i) {
        const ScenarioStep &step = m_scenario.steps[i];
        if (!m_stepTaken[i] && step.atMountMs && *step.atMountMs <= mountElapsedMs) {
            m_stepTaken[i] = true;
            due.push_back(i);
        }
    }
    // In the order of their times, then of the file.
    std::stable_sort(due.begin(), due.end(), [this](std::size_t a, std::size_t b) {
        return *m_scenario.steps[a].atMountMs < *m_scenario.steps[b].atMountMs;
    });
    return due;
}

std::vector<std::size_t> ScenarioJudge::stepsTriggeredBy(const QByteArray &command,
                                                         const QString &meaning)
{
    std::vector<std::size_t> triggered;
    for (std::size_t i = 0; i < m_scenario.steps.size(); ++i) {
        const ScenarioStep &step = m_scenario.steps[i];
        if (!m_stepTaken[i] && step.when && step.when->matches(command, meaning)) {
            m_stepTaken[i] = true;
            triggered.push_back(i);
        }
    }
    return triggered;
}

void ScenarioJudge::stepRan(std::size_t step, qint64 atMs, const QString &error)
{
    m_stepRanAtMs[step] = atMs;
    const ScenarioStep &ran = m_scenario.steps[step];
    const QString name = QStringLiteral("step %1 (%2)")
                                 .arg(step + 1)
                                 .arg(ran.request.value(QStringLiteral("request")).toString());
    remember(QStringLiteral("%1 %2%3").arg(
            seconds(atMs), name, error.isEmpty() ? QString() : QStringLiteral(": ") + error));
    if (!error.isEmpty())
        m_stepFailures.push_back({name, ran.line, ScenarioResult::State::Failed, atMs,
                                  QStringLiteral("the emulator refused it: %1").arg(error),
                                  QStringList(m_recent.begin(), m_recent.end())});
}

std::optional<qint64> ScenarioJudge::windowStart(const Expectation &expectation) const
{
    if (expectation.after.isEmpty())
        return 0;
    for (std::size_t i = 0; i < m_scenario.steps.size(); ++i) {
        if (m_scenario.steps[i].name == expectation.after)
            return m_stepRanAtMs[i];
    }
    return std::nullopt;
}

void ScenarioJudge::remember(const QString &line)
{
    m_recent.push_back(line);
    while (m_recent.size() > std::size_t(linesAround))
        m_recent.pop_front();
}

void ScenarioJudge::note(const QString &line) { remember(line); }

void ScenarioJudge::decide(std::size_t index, ScenarioResult::State state, qint64 atMs,
                           const QString &message)
{
    ScenarioResult &result = m_expectations[index];
    if (result.state != ScenarioResult::State::Pending)
        return;
    result.state = state;
    result.decidedAtMs = atMs;
    result.message = message;
    if (state == ScenarioResult::State::Failed)
        result.around = QStringList(m_recent.begin(), m_recent.end());
}

void ScenarioJudge::commandSent(qint64 atMs, const QByteArray &command, const QString &meaning,
                                const QString &line)
{
    remember(line);
    for (std::size_t i = 0; i < m_expectations.size(); ++i) {
        const Expectation &expectation = m_scenario.expectations[i];
        if (!expectation.command || !expectation.command->matches(command, meaning))
            continue;
        const std::optional<qint64> from = windowStart(expectation);
        if (!from || atMs < *from)
            continue;
        if (expectation.kind == Expectation::Kind::Sends)
            decide(i, ScenarioResult::State::Passed, atMs,
                   QStringLiteral("sent at %1").arg(seconds(atMs)));
        else if (expectation.kind == Expectation::Kind::DoesNotSend)
            decide(i, ScenarioResult::State::Failed, atMs,
                   QStringLiteral("the client sent it at %1").arg(seconds(atMs)));
    }
}

void ScenarioJudge::clientConnected(qint64 atMs)
{
    for (std::size_t i = 0; i < m_expectations.size(); ++i) {
        const Expectation &expectation = m_scenario.expectations[i];
        if (expectation.kind != Expectation::Kind::Reconnects)
            continue;
        const std::optional<qint64> from = windowStart(expectation);
        if (from && atMs >= *from)
            decide(i, ScenarioResult::State::Passed, atMs,
                   QStringLiteral("connected again %1 after the step %2")
                           .arg(seconds(atMs - *from), expectation.after));
    }
}

void ScenarioJudge::tick(qint64 atMs)
{
    for (std::size_t i = 0; i < m_expectations.size(); ++i) {
        const Expectation &expectation = m_scenario.expectations[i];
        if (expectation.kind != Expectation::Kind::Sends
            && expectation.kind != Expectation::Kind::Reconnects)
            continue;
        const std::optional<qint64> from = windowStart(expectation);
        if (from && atMs > *from + expectation.withinMs)
            decide(i, ScenarioResult::State::Failed, atMs,
                   expectation.kind == Expectation::Kind::Sends
                           ? QStringLiteral("the client did not send it within %1")
                                     .arg(seconds(expectation.withinMs))
                           : QStringLiteral("the client did not connect again within %1 of the "
                                            "step %2")
                                     .arg(seconds(expectation.withinMs), expectation.after));
    }
}

void ScenarioJudge::finish(qint64 atMs, const std::optional<SkyPointing> &pointing,
                           const QString &why)
{
    tick(atMs);
    for (std::size_t i = 0; i < m_expectations.size(); ++i) {
        const Expectation &expectation = m_scenario.expectations[i];
        switch (expectation.kind) {
        case Expectation::Kind::DoesNotSend:
            decide(i, ScenarioResult::State::Passed, atMs, QStringLiteral("never sent"));
            break;
        case Expectation::Kind::MountWithin: {
            if (!pointing) {
                decide(i, ScenarioResult::State::Failed, atMs,
                       QStringLiteral("the mount's pointing is known in the full profile only"));
                break;
            }
            const double off = separationDegrees(
                    *pointing, {expectation.targetRaHours, expectation.targetDecDegrees});
            const QString where
                    = QStringLiteral("the mount ended at RA %1 h Dec %2, %3 degrees away")
                              .arg(pointing->raHours, 0, 'f', 4)
                              .arg(pointing->decDegrees, 0, 'f', 3)
                              .arg(off, 0, 'f', 3);
            decide(i,
                   off <= expectation.toleranceDegrees ? ScenarioResult::State::Passed
                                                       : ScenarioResult::State::Failed,
                   atMs, where);
            break;
        }
        case Expectation::Kind::Sends:
        case Expectation::Kind::Reconnects: {
            const std::optional<qint64> from = windowStart(expectation);
            decide(i, ScenarioResult::State::Failed, atMs,
                   from ? QStringLiteral("not by the end of the run at %1 (%2)")
                                   .arg(seconds(atMs), why)
                        : QStringLiteral("the step %1 never ran").arg(expectation.after));
            break;
        }
        }
    }
    for (std::size_t i = 0; i < m_scenario.steps.size(); ++i) {
        if (m_stepTaken[i])
            continue;
        const ScenarioStep &step = m_scenario.steps[i];
        // A step that waits for a command the client never sent is not a failure of its own:
        // the expectations say what should have happened. One due at a mount time is.
        if (step.atMountMs)
            m_stepFailures.push_back(
                    {QStringLiteral("step %1 (%2)")
                             .arg(i + 1)
                             .arg(step.request.value(QStringLiteral("request")).toString()),
                     step.line,
                     ScenarioResult::State::Failed,
                     atMs,
                     QStringLiteral("its mount time, %1, never came: the run ended at %2 (%3)")
                             .arg(seconds(*step.atMountMs), seconds(atMs), why),
                     {}});
    }
}

bool ScenarioJudge::isSettled() const
{
    const bool decided = std::all_of(m_expectations.begin(), m_expectations.end(),
                                     [](const ScenarioResult &result) {
                                         return result.state != ScenarioResult::State::Pending;
                                     });
    // Expectations decided only at the end (does not send, mount within) keep it going until
    // the client or the time limit ends it.
    const bool onlyAtTheEnd
            = std::any_of(m_scenario.expectations.begin(), m_scenario.expectations.end(),
                          [](const Expectation &expectation) {
                              return expectation.kind == Expectation::Kind::DoesNotSend
                                      || expectation.kind == Expectation::Kind::MountWithin;
                          });
    const bool stepsRun
            = std::all_of(m_stepTaken.begin(), m_stepTaken.end(), [](bool taken) { return taken; });
    return decided && !onlyAtTheEnd && stepsRun;
}

bool ScenarioJudge::passed() const
{
    return m_stepFailures.empty()
            && std::all_of(m_expectations.begin(), m_expectations.end(),
                           [](const ScenarioResult &result) {
                               return result.state == ScenarioResult::State::Passed;
                           });
}

double ScenarioJudge::separationDegrees(const SkyPointing &a, const SkyPointing &b)
{
    const double ra1 = a.raHours * 15 * radiansPerDegree;
    const double ra2 = b.raHours * 15 * radiansPerDegree;
    const double dec1 = a.decDegrees * radiansPerDegree;
    const double dec2 = b.decDegrees * radiansPerDegree;
    // The haversine form: exact for the small separations a tolerance is about.
    const double h = std::pow(std::sin((dec2 - dec1) / 2), 2)
            + std::cos(dec1) * std::cos(dec2) * std::pow(std::sin((ra2 - ra1) / 2), 2);
    return 2 * std::asin(std::min(1.0, std::sqrt(h))) / radiansPerDegree;
}

} // namespace tqx
