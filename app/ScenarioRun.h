#pragma once

#include "app/HeadlessEmulator.h"
#include "control/ControlHandler.h"
#include "scenario/ClientChecks.h"
#include "scenario/Scenario.h"
#include "scenario/ScenarioJudge.h"

#include <QElapsedTimer>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <memory>

namespace tqx {

// What a scenario run writes besides its summary on standard output.
struct ScenarioRunOutput
{
    QString junitPath; // empty: none
    QString jsonPath;
};

// One run of a client under test: the emulator started as the scenario says (headless, in this
// process), the client command started with where to connect filled in, the scenario's steps
// carried out through the control channel's requests, the expectations judged and the client's
// behaviour checked, until the client ends, everything is decided or the time limit comes. Then
// the reports, and the exit code: 0 when everything held.
class ScenarioRun : public QObject
{
    Q_OBJECT

public:
    enum ExitCode { Passed = 0, Failed = 1, UsageError = 2 };

    ScenarioRun(Scenario scenario, HeadlessOptions emulator, QStringList client,
                ScenarioRunOutput output, QObject *parent = nullptr);
    ~ScenarioRun() override;

    // Starts the emulator and the client; false (with the exit code to end with) when either
    // cannot start.
    bool start(int *exitCode);
    // Ends the run now, as if its time were up (a signal asked the program to end).
    void stop(const QString &why);

    // The client's command with {port}, {device}, {host} and {tcp_port} filled in.
    static QStringList clientCommand(const QStringList &command, const QString &link,
                                     const QString &device, const QString &host, quint16 tcpPort);

signals:
    void finished(int exitCode);

private:
    qint64 nowMs() const { return m_clock.elapsed(); }
    void onExchange(const Exchange &exchange);
    void onUnanswered(const Bytes &bytes, const QString &reason);
    void onTick();
    void runSteps(const std::vector<std::size_t> &steps);
    void finish(const QString &why);
    bool gotoUnderWay() const;

    Scenario m_scenario;
    HeadlessOptions m_options;
    QStringList m_client;
    ScenarioRunOutput m_output;
    int m_nullFd = -1;
    std::unique_ptr<HeadlessEmulator> m_emulator;
    std::unique_ptr<ControlHandler> m_control;
    ControlSubscription m_noSubscription;
    ScenarioJudge m_judge;
    ClientChecks m_checks;
    QProcess m_clientProcess;
    QElapsedTimer m_clock;
    QString m_startedAt;
    qint64 m_mountStartMs = 0;
    QTimer m_ticker;
    bool m_gotoUnderWay = false;
    // The line's last exchange, to tell a client that leaves replies unread while it is idle.
    qint64 m_lastExchangeMs = 0;
    QByteArray m_lastCommand;
    bool m_unreadLooked = true;
    bool m_finished = false;
};

} // namespace tqx
