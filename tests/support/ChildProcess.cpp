#include "support/ChildProcess.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QThread>

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

extern char **environ;

ChildProcess::~ChildProcess()
{
    if (m_pid > 0 && waitForExit(0) == -1) {
        ::kill(m_pid, SIGKILL);
        waitForExit(5000);
    }
}

bool ChildProcess::start(const QString &program, const QStringList &arguments,
                         const QStringList &environment, int outputFd, int errorFd)
{
    std::vector<std::string> argumentText {QFile::encodeName(program).toStdString()};
    for (const QString &argument : arguments)
        argumentText.push_back(argument.toStdString());
    // An addition replaces the test's own entry of the same name.
    std::vector<std::string> environmentText;
    for (char **entry = environ; *entry; ++entry) {
        const std::string text(*entry);
        const std::string name = text.substr(0, text.find('=') + 1);
        bool replaced = false;
        for (const QString &addition : environment)
            replaced = replaced || addition.toStdString().rfind(name, 0) == 0;
        if (!replaced)
            environmentText.push_back(text);
    }
    for (const QString &entry : environment)
        environmentText.push_back(entry.toStdString());

    std::vector<char *> argv;
    for (std::string &text : argumentText)
        argv.push_back(text.data());
    argv.push_back(nullptr);
    std::vector<char *> envp;
    for (std::string &text : environmentText)
        envp.push_back(text.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, outputFd, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errorFd, STDERR_FILENO);
    const int result = posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (result != 0)
        m_pid = -1;
    return result == 0;
}

void ChildProcess::sendSignal(int signalNumber)
{
    if (m_pid > 0)
        ::kill(m_pid, signalNumber);
}

int ChildProcess::waitForExit(int timeoutMs)
{
    if (m_pid <= 0)
        return -1;
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        int status = 0;
        const pid_t done = ::waitpid(m_pid, &status, WNOHANG);
        if (done == m_pid) {
            m_pid = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        if (done < 0 || deadline.hasExpired())
            return -1;
        QThread::msleep(5);
    }
}

Pipe::Pipe()
{
    if (::pipe2(m_fds, O_CLOEXEC) != 0)
        m_fds[0] = m_fds[1] = -1;
}

Pipe::~Pipe()
{
    closeReadEnd();
    closeWriteEnd();
}

void Pipe::closeReadEnd()
{
    if (m_fds[0] >= 0)
        ::close(m_fds[0]);
    m_fds[0] = -1;
}

void Pipe::closeWriteEnd()
{
    if (m_fds[1] >= 0)
        ::close(m_fds[1]);
    m_fds[1] = -1;
}

QByteArray Pipe::readLine(int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!m_buffered.contains('\n') && !deadline.hasExpired()) {
        pollfd ready {m_fds[0], POLLIN, 0};
        if (::poll(&ready, 1, 20) <= 0)
            continue;
        char buffer[4096];
        const ssize_t n = ::read(m_fds[0], buffer, sizeof buffer);
        if (n <= 0)
            break;
        m_buffered.append(buffer, n);
    }
    const qsizetype end = m_buffered.indexOf('\n');
    const QByteArray line = end < 0 ? m_buffered : m_buffered.left(end);
    m_buffered.remove(0, end < 0 ? m_buffered.size() : end + 1);
    return line;
}

QByteArray Pipe::readLineContaining(const QByteArray &text, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        const QByteArray line = readLine(static_cast<int>(deadline.remainingTime()));
        if (line.contains(text))
            return line;
    }
    return {};
}

bool waitUntil(const std::function<bool()> &condition, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(5);
    }
    return true;
}

QByteArray fileText(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
