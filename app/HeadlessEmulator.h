#pragma once

#include "app/ExchangeLine.h"
#include "app/JsonLine.h"
#include "app/LineWriter.h"
#include "control/ControlAddress.h"
#include "control/ControlServer.h"
#include "emulation/Bytes.h"
#include "session/EmulatorSession.h"
#include "session/FaultRule.h"
#include "session/LineTiming.h"
#include "session/PortChoice.h"
#include "session/TcpTransport.h"

#include <QJsonObject>
#include <QObject>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tqx {

// How the lines on standard output and in the log read: for people and the scripts that read
// the tab-separated columns, or one JSON object a line for programs.
enum class LogFormat { Text, Jsonl };

struct HeadlessOptions
{
    // As PortChoice reads it, e.g. "Com 1", "virtual", "tcp:[ADDRESS:]PORT", or "systemd" for
    // `listeningSocket`.
    QString port;
    // A listening TCP socket the service manager passed (socket activation), which a network
    // port listens on instead of binding; -1 for none.
    int listeningSocket = -1;
    // Written once the port is open, saying where clients connect; removed when the program
    // stops. Empty: none.
    QString readyFilePath;
    LogFormat logFormat = LogFormat::Text;
    Bytes versionReply = "22"; // the basic profile's reply to V
    QString logPath; // empty: no log file
    Profile profile = Profile::Basic;
    HandControlSettings handControl; // the full profile's
    qint64 resetAfterMs = 1000; // nobody is there to press Reset; 0 never resets
    // Each exchange line ends with a fourth column saying what the exchange means. Off by
    // default, so that the three-column format that harnesses read stays as it is.
    bool decode = false;
    // How long a network client must have been silent for a new one to take over; 0 never.
    qint64 takeoverAfterMs = TcpTransport::defaultTakeoverAfterMs;
    // How fast replies go out, and with real timing how long a P command waits for the bus.
    LineTiming lineTiming = LineTiming::Fast;
    std::chrono::milliseconds busDelay {BusDelay::defaultMs};
    // Faults on purpose, and the seed of their random choices (none: one drawn and said).
    std::vector<FaultRule> faults;
    std::optional<std::uint64_t> faultSeed;
    // The mount's clock: its date and time at start (none: the computer's) and its rate.
    std::optional<qint64> startUtcMs;
    double timeRate = 1;
    // Where the control channel listens once the port is open (none: the instance's socket in
    // the runtime folder).
    std::optional<ControlAddress> control;
};

// The emulator without a window, for automated test runs: a view of the same session the window
// shows, reporting each answered command as a line on standard output (and in a log file).
// It reads and writes no settings.
//
// Output never holds up the answering: lines go through writers on threads of their own (see
// LineWriter), so a harness that never reads standard output, a closed pipe, a FIFO without a
// reader or a full disk cost lines, which are counted and reported, but never a reply.
class HeadlessEmulator : public QObject
{
    Q_OBJECT

public:
    enum ExitCode { Success = 0, PortFailure = 1, UsageError = 2 };

    // Writes its lines to `outputFd` and its messages to `errorFd`; both stay open.
    HeadlessEmulator(HeadlessOptions options, int outputFd, int errorFd, QObject *parent = nullptr);
    ~HeadlessEmulator() override;

    // Opens the log and the port and says where clients connect: on standard output, in the
    // ready file and to the service manager. On failure says why on the error stream and returns
    // the exit code to end with.
    ExitCode start();
    // Closes the port (removing a virtual port's link) and removes the ready file. Safe to call
    // twice.
    void stop();

    // What the ready file holds: "pid", "port" as given, "connect" (where clients connect) and
    // "instance" when there is one.
    QJsonObject readyFields() const;
    // Where clients connect: a virtual port's "device" and "link", a serial port's "device", or
    // the "address" and "port" a network listener actually listens on.
    QJsonObject connectFields() const;

    EmulatorSession &session() { return m_session; }
    // Where control clients connect while running, or empty with --control off.
    QString controlAddress() const { return m_control.address(); }

signals:
    // The port was lost while running; the program should end with PortFailure.
    void portLost();

private:
    ExitCode configurePort();
    bool openLog();
    bool writeReadyFile();
    bool startControl();
    void writeExchange(const Exchange &exchange);
    void writeText(std::string text);
    LineWriter::Reporter errorReporter() const;
    // `kind` names the event in JSON lines ("client-connected"); `text` is what a plain line says.
    void writeEvent(const char *kind, const QString &text);
    void reportError(const QString &text);
    void reportUnwritten(const LineWriter &writer);

    HeadlessOptions m_options;
    std::shared_ptr<LineWriter> m_errors; // shared with the other writers, which report to it
    std::unique_ptr<LineWriter> m_output;
    std::unique_ptr<LineWriter> m_log;
    ExchangeLine m_exchangeLine;
    JsonLine m_jsonLine;
    PortChoice m_port; // as read from the options at start()
    EmulatorSession m_session;
    bool m_readyFileWritten = false;
    bool m_readyNotified = false;
    ControlServer m_control {m_session};
};

} // namespace tqx
