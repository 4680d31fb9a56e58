#pragma once

#include "CommandInterpreter.h"
#include "ConsoleDisplay.h"

#include <QDateTime>
#include <QObject>
#include <QString>

#include <memory>
#include <string>

namespace tqx {

class LineWriter;
class SerialPortControl;

struct HeadlessOptions
{
    QString port; // "Com 1".."Com 8", a system port name, or "virtual"
    Bytes versionReply = "22";
    QString logPath; // empty: no log file
};

// The emulator without a window, for automated test runs: the same interpreter on the same kind
// of port, reporting each answered command as a line on standard output (and in a log file).
// It reads and writes no settings.
//
// Output never holds up the answering: lines go through writers on threads of their own (see
// LineWriter), so a harness that never reads standard output, a closed pipe, a FIFO without a
// reader or a full disk cost lines, which are counted and reported, but never a reply.
class HeadlessEmulator : public QObject, public ConsoleDisplay
{
    Q_OBJECT

public:
    enum ExitCode { Success = 0, PortFailure = 1, UsageError = 2 };

    // Writes its lines to `outputFd` and its messages to `errorFd`; both stay open.
    HeadlessEmulator(HeadlessOptions options, int outputFd, int errorFd, QObject *parent = nullptr);
    ~HeadlessEmulator() override;

    // Opens the log and the port and says where clients connect. On failure says why on the
    // error stream and returns the exit code to end with.
    ExitCode start();
    // Closes the port (removing a virtual port's link). Safe to call twice.
    void stop();

    SerialPortControl &port() { return *m_port; }

    void InputListAddItem(const Bytes &line) override;
    void InputListSelect(std::uint64_t) override { }
    void SetInputLabel(const std::string &) override { }
    void InputListClear() override { }
    void RespListAddItem(const Bytes &line) override;
    void RespListSelect(std::uint64_t) override { }
    void SetRespLabel(const std::string &) override { }
    void RespListClear() override { }
    void SetCommandText(const Bytes &, std::uint64_t) override { }
    Bytes ReadVerText() const override { return m_options.versionReply; }

signals:
    // The port was lost while running; the program should end with PortFailure.
    void portLost();

private:
    void configurePort();
    bool openLog();
    void writeLine(const QString &line);
    void writeEvent(const QString &text);
    void reportError(const QString &text);

    HeadlessOptions m_options;
    std::shared_ptr<LineWriter> m_errors; // shared with the other writers, which report to it
    std::unique_ptr<LineWriter> m_output;
    std::unique_ptr<LineWriter> m_log;
    SerialPortControl *m_port;
    std::unique_ptr<CommandInterpreter> m_interpreter;
    Bytes m_command;
    QDateTime m_commandTime;
};

} // namespace tqx
