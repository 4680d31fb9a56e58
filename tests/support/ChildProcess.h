#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

#include <sys/types.h>

// The program under test as a harness runs it: a separate process whose standard output and
// standard error are descriptors the test chooses (a pipe it never reads, a pipe it closes, a
// file), with its own environment additions. Every wait has a deadline; a process still running
// when the test ends is killed.
class ChildProcess
{
public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;

    // `environment` entries ("NAME=value") are added to the test's own environment, replacing
    // an entry of the same name.
    bool start(const QString &program, const QStringList &arguments, const QStringList &environment,
               int outputFd, int errorFd);
    pid_t pid() const { return m_pid; }
    void sendSignal(int signalNumber);

    // The exit code; 128 + the signal's number if a signal ended it; -1 if it is still running
    // when the time is up.
    int waitForExit(int timeoutMs);

private:
    pid_t m_pid = -1;
};

// A pipe whose ends the test holds: the program writes into it, the test reads it (or not).
class Pipe
{
public:
    Pipe();
    ~Pipe();
    Pipe(const Pipe &) = delete;
    Pipe &operator=(const Pipe &) = delete;

    int readEnd() const { return m_fds[0]; }
    int writeEnd() const { return m_fds[1]; }
    void closeReadEnd();
    void closeWriteEnd();

    // One line (without its newline), or what arrived by the deadline.
    QByteArray readLine(int timeoutMs);
    // Reads lines until one contains `text`; returns that line, or an empty one at the deadline.
    QByteArray readLineContaining(const QByteArray &text, int timeoutMs);

private:
    int m_fds[2] = {-1, -1};
    QByteArray m_buffered;
};

// Polls `condition` until it holds (true) or the time is up (false).
bool waitUntil(const std::function<bool()> &condition, int timeoutMs = 10000);
// The whole of a file, or nothing when it cannot be read.
QByteArray fileText(const QString &path);
