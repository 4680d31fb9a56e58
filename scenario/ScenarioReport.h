#pragma once

#include "scenario/ClientChecks.h"
#include "scenario/ScenarioJudge.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>

namespace tqx {

// What a scenario run found, in the forms CI services read: JUnit XML (each expectation a test
// case, each check of the client's behaviour another, failures with the exchanges around them)
// and JSON, and a summary for the terminal.
struct ScenarioReport
{
    const Scenario &scenario;
    const ScenarioJudge &judge;
    const ClientChecks &checks;
    qint64 durationMs = 0;
    QString endedBecause; // "the client ended (exit code 0)", "the time limit"
    QString timestamp; // ISO 8601, when the run started

    // Whether the run passed: every expectation held, every step ran, and the checks found
    // nothing that the scenario does not ignore.
    bool passed() const;
    int failures() const;
    int testCount() const;

    QByteArray junitXml() const;
    QJsonObject json() const;
    QString summary() const;
};

} // namespace tqx
