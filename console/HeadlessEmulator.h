#pragma once

#include "CommandInterpreter.h"
#include "ConsoleDisplay.h"

#include <QDateTime>
#include <QFile>
#include <QObject>
#include <QString>

#include <cstdio>
#include <memory>

namespace tqx {

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
class HeadlessEmulator : public QObject, public ConsoleDisplay
{
    Q_OBJECT

public:
    enum ExitCode { Success = 0, PortFailure = 1, UsageError = 2 };

    HeadlessEmulator(HeadlessOptions options, std::FILE *out, std::FILE *err,
                     QObject *parent = nullptr);
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

    HeadlessOptions m_options;
    std::FILE *m_out;
    std::FILE *m_err;
    SerialPortControl *m_port;
    std::unique_ptr<CommandInterpreter> m_interpreter;
    QFile m_log;
    Bytes m_command;
    QDateTime m_commandTime;
};

} // namespace tqx
