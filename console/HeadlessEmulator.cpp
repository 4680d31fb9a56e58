#include "HeadlessEmulator.h"

#include "DisplayText.h"
#include "PortNames.h"
#include "SerialPortControl.h"

#include <QRegularExpression>

namespace tqx {

HeadlessEmulator::HeadlessEmulator(HeadlessOptions options, std::FILE *out, std::FILE *err,
                                   QObject *parent)
    : QObject(parent)
    , m_options(std::move(options))
    , m_out(out)
    , m_err(err)
    , m_port(new SerialPortControl(this))
{
    m_interpreter = std::make_unique<CommandInterpreter>(*m_port, *this);
    connect(m_port, &SerialPortControl::commEvent, this,
            [this] { m_interpreter->frmMain_Comm_OnComm(); });
    connect(m_port, &SerialPortControl::portFailed, this, [this](const QString &errorText) {
        std::fprintf(m_err, "tqx-orbivo-emulator: the port failed: %s\n", qPrintable(errorText));
        std::fflush(m_err);
        stop();
        emit portLost();
    });
}

HeadlessEmulator::~HeadlessEmulator()
{
    stop();
    // The interpreter refers to this object as its display; it must go first.
    m_interpreter.reset();
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

HeadlessEmulator::ExitCode HeadlessEmulator::start()
{
    if (!m_options.logPath.isEmpty()) {
        m_log.setFileName(m_options.logPath);
        if (!m_log.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
            std::fprintf(m_err, "tqx-orbivo-emulator: cannot write the log %s: %s\n",
                         qPrintable(m_options.logPath), qPrintable(m_log.errorString()));
            return UsageError;
        }
    }

    configurePort();
    QString errorText;
    if (!m_port->open(&errorText)) {
        std::fprintf(m_err, "tqx-orbivo-emulator: cannot open %s: %s\n", qPrintable(m_options.port),
                     qPrintable(errorText));
        return PortFailure;
    }
    if (m_port->isVirtual()) {
        std::fprintf(m_out, "Listening on a virtual port: clients open %s",
                     qPrintable(m_port->clientDevice()));
        if (!m_port->publishedLink().isEmpty())
            std::fprintf(m_out, " or %s", qPrintable(m_port->publishedLink()));
        std::fprintf(m_out, "\n");
    } else {
        std::fprintf(m_out, "Listening on %s (9600 bit/s, 8 data bits, no parity, 1 stop bit)\n",
                     qPrintable(m_port->portName()));
    }
    std::fflush(m_out);
    return Success;
}

void HeadlessEmulator::stop()
{
    if (m_port->isOpen())
        m_port->close(nullptr);
    if (m_log.isOpen())
        m_log.close();
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
    const QByteArray text
            = (exchangeTimeText(m_commandTime) + QLatin1Char('\t') + displayText(m_command)
               + QLatin1Char('\t') + displayText(line) + QLatin1Char('\n'))
                      .toUtf8();
    std::fwrite(text.constData(), 1, static_cast<std::size_t>(text.size()), m_out);
    std::fflush(m_out);
    if (m_log.isOpen()) {
        m_log.write(text);
        m_log.flush();
    }
}

} // namespace tqx
