#pragma once

#include "scenario/ScenarioReader.h"

#include <QByteArray>
#include <QString>

#include <variant>

namespace tqx {

// How much slack a recorded expectation gets over what the client took in the recorded run:
// twice its time plus a fixed allowance, so that a slower machine, a loaded CI runner or a client
// that starts a little later still passes, while a client that stops sending a command fails.
struct RecordingMargins
{
    double factor = 2;
    qint64 extraMs = 2000; // for `within` and `reconnects_within`
    qint64 timeLimitExtraMs = 10'000; // for the whole run's `time_limit`
};

// Turns a log of a good run of a client into a scenario whose expectations are what the client
// did, so that the run becomes a regression test. The log may be headless mode's text lines, its
// JSON lines (--log-format jsonl) or a log the window saved; which it is is told from the lines.
//
// The scenario expects each distinct command the client sent, in the order it first sent it,
// within its time since the client's first command (with the margins); repeated polls are one
// expectation. A client the emulator dropped (a drop fault) and that came back becomes a drop
// step and a reconnection expectation; bytes that went unanswered are listed as comments, since a
// good run should have none. The text is one readScenarioText() reads.
//
// `logPath` names the log in the text and in errors; a line that is none of the three forms is
// an error naming it.
std::variant<QByteArray, ScenarioError> recordScenario(const QByteArray &log,
                                                       const QString &logPath,
                                                       const RecordingMargins &margins = {});
std::variant<QByteArray, ScenarioError> recordScenarioFromFile(const QString &logPath,
                                                               const RecordingMargins &margins
                                                               = {});

// --record-scenario LOG [--output FILE]: writes the scenario to FILE (whole, or not at all) or to
// standard output; a message on standard error when it cannot. Returns the exit code: 0, 1 when
// the log cannot be read or the scenario not written, 2 when no log is named.
int recordScenarioCommand(const QString &logPath, const QString &outputPath);

} // namespace tqx
