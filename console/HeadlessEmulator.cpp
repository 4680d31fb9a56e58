#include "HeadlessEmulator.h"

#include "DisplayText.h"
#include "LineWriter.h"
#include "PortNames.h"
#include "SerialPortControl.h"

#include <QFile>
#include <QRegularExpression>

#include <cerrno>
#include <cstring>

#include <fcntl.h>

namespace tqx {

namespace {
constexpr const char *programName = "tqx-orbivo-emulator: ";
}

HeadlessEmulator::HeadlessEmulator(HeadlessOptions options, int outputFd, int errorFd,
                                   QObject *parent)
    : QObject(parent)
    , m_options(std::move(options))
    , m_errors(std::make_shared<LineWriter>(errorFd, "standard error"))
    , m_port(new SerialPortControl(this))
{
    m_output = std::make_unique<LineWriter>(outputFd, "standard output",
                                            [errors = m_errors](const std::string &text) {
                                                errors->write(programName + text + '\n');
                                            });
    m_interpreter = std::make_unique<CommandInterpreter>(*m_port, *this);
    connect(m_port, &SerialPortControl::commEvent, this,
            [this] { m_interpreter->frmMain_Comm_OnComm(); });
    connect(m_port, &SerialPortControl::portFailed, this, [this](const QString &errorText) {
        reportError(QStringLiteral("the port failed: %1").arg(errorText));
        stop();
        emit portLost();
    });
    connect(m_port, &SerialPortControl::clientConnected, this,
            [this] { writeEvent(QStringLiteral("a client opened the virtual port")); });
    connect(m_port, &SerialPortControl::clientLeft, this, [this] {
        // The next client starts afresh, not in the middle of this one's command.
        m_interpreter->resetBuffer();
        writeEvent(QStringLiteral("the client closed the virtual port"));
    });
}

HeadlessEmulator::~HeadlessEmulator()
{
    stop();
    // The interpreter refers to this object as its display; it must go first.
    m_interpreter.reset();
    // Give the writers a moment to write what is queued; one that the system holds up is left.
    if (m_log)
        m_log->finish(std::chrono::milliseconds(1000));
    m_output->finish(std::chrono::milliseconds(1000));
    m_errors->finish(std::chrono::milliseconds(1000));
}

void HeadlessEmulator::configurePort()
{
    static const QRegularExpression numbered(QStringLiteral("^com\\s*([1-8])$"),
                                             QRegularExpression::CaseInsensitiveOption);
    const QString port = m_options.port.trimmed();
    if (port.compare(QLatin1String("virtual"), Qt::CaseInsensitive) == 0)
        m_port->setVirtualPort();
    else if (const QRegularExpressionMatch match = numbered.match(port); match.hasMatch())
        m_port->setCommPort(match.captured(1).toInt());
    else
        m_port->setSystemPort(port);
}

// Opens the log without waiting: a FIFO that no process reads yet is opened by the log's writer
// when a reader comes, and its lines wait (or are counted as dropped) until then.
bool HeadlessEmulator::openLog()
{
    const QByteArray path = QFile::encodeName(m_options.logPath);
    auto reporter = [errors = m_errors](const std::string &text) {
        errors->write(programName + text + '\n');
    };
    const int fd
            = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd >= 0) {
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        m_log = LineWriter::adoptFile(fd, path.toStdString(), reporter);
        return true;
    }
    if (errno == ENXIO) {
        reportError(QStringLiteral("the log %1 has no reader yet; its lines are written once a "
                                   "process opens it for reading")
                            .arg(m_options.logPath));
        m_log = LineWriter::openFile(path.toStdString(), reporter);
        return true;
    }
    reportError(QStringLiteral("cannot write the log %1: %2")
                        .arg(m_options.logPath, QString::fromLocal8Bit(std::strerror(errno))));
    return false;
}

HeadlessEmulator::ExitCode HeadlessEmulator::start()
{
    if (!m_options.logPath.isEmpty() && !openLog())
        return UsageError;

    configurePort();
    QString errorText;
    if (!m_port->open(&errorText)) {
        reportError(QStringLiteral("cannot open %1: %2").arg(m_options.port, errorText));
        return PortFailure;
    }
    if (m_port->isVirtual()) {
        QString line = QStringLiteral("Listening on a virtual port: clients open %1")
                               .arg(m_port->clientDevice());
        if (!m_port->publishedLink().isEmpty())
            line += QStringLiteral(" or %1").arg(m_port->publishedLink());
        m_output->write(line.toStdString() + '\n');
    } else {
        m_output->write(
                QStringLiteral("Listening on %1 (9600 bit/s, 8 data bits, no parity, 1 stop bit)\n")
                        .arg(m_port->portName())
                        .toStdString());
    }
    return Success;
}

void HeadlessEmulator::stop()
{
    if (m_port->isOpen())
        m_port->close(nullptr);
}

void HeadlessEmulator::InputListAddItem(const Bytes &line)
{
    m_command = line;
    m_commandTime = QDateTime::currentDateTime();
}

// One line per answered command: time, command and reply, tab-separated and escaped as the
// console shows them, so that a test can read it back.
void HeadlessEmulator::RespListAddItem(const Bytes &line)
{
    writeLine(exchangeTimeText(m_commandTime) + QLatin1Char('\t') + displayText(m_command)
              + QLatin1Char('\t') + displayText(line));
}

// Events on the line are comment lines, so that a reader of the exchanges can skip them.
void HeadlessEmulator::writeEvent(const QString &text)
{
    writeLine(QStringLiteral("# %1 %2").arg(exchangeTimeText(QDateTime::currentDateTime()), text));
}

void HeadlessEmulator::writeLine(const QString &line)
{
    std::string text = line.toStdString();
    text += '\n';
    if (m_log)
        m_log->write(text);
    m_output->write(std::move(text));
}

void HeadlessEmulator::reportError(const QString &text)
{
    m_errors->write(programName + text.toStdString() + '\n');
}

} // namespace tqx
