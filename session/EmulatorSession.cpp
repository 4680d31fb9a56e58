#include "session/EmulatorSession.h"

#include "session/Logging.h"

#include "session/PortNames.h"
#include "session/VirtualPort.h"

#include <QDateTime>

namespace tqx {

namespace {
// How often the interpreter looks at what waits on time: a quiet gap after an unknown command, a
// blocked buffer's automatic reset.
constexpr int pollIntervalMs = 50;

QString fromStd(const std::string &text)
{
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}
} // namespace

EmulatorSession::EmulatorSession(QObject *parent)
    : QObject(parent)
    , m_portNameMapper(platformPortName)
    , m_pacer([this](const QByteArray &bytes) { return writeToTransport(bytes); })
{
    // The session is the interpreter's port and display (private bases, known only here).
    SerialControl &port = *this;
    ConsoleDisplay &display = *this;
    m_interpreter = std::make_unique<CommandInterpreter>(port, display);
    m_interpreter->mount().setStartValues();
    m_pollTimer.setInterval(pollIntervalMs);
    connect(&m_pollTimer, &QTimer::timeout, this, [this] { m_interpreter->poll(); });
}

EmulatorSession::~EmulatorSession()
{
    close(nullptr);
    // The interpreter refers to this session as its port and display; it goes first.
    m_interpreter.reset();
    if (m_transport)
        m_transport->disconnect(this);
}

void EmulatorSession::setPort(const PortSpecification &port) { m_port = port; }

void EmulatorSession::setTransport(Transport *transport)
{
    m_port.reset();
    adopt(std::unique_ptr<Transport>(transport));
}

void EmulatorSession::setPortNameMapper(PortNameMapper mapper)
{
    m_portNameMapper = mapper ? std::move(mapper) : PortNameMapper(platformPortName);
}

QString EmulatorSession::portName() const
{
    const QString systemName = m_port ? m_port->systemPortName(m_portNameMapper) : QString();
    return systemName.isEmpty() ? description() : systemName;
}

QString EmulatorSession::description() const
{
    return m_transport ? m_transport->description() : QString();
}

QString EmulatorSession::clientDevice() const
{
    const auto *port = qobject_cast<const VirtualPort *>(m_transport.get());
    return port ? port->clientDevice() : QString();
}

QString EmulatorSession::publishedLink() const
{
    const auto *port = qobject_cast<const VirtualPort *>(m_transport.get());
    return port ? port->publishedLink() : QString();
}

void EmulatorSession::adopt(std::unique_ptr<Transport> transport)
{
    if (m_transport) {
        m_transport->disconnect(this);
        m_transport->close(nullptr);
    }
    m_transport = std::move(transport);
    if (!m_transport)
        return;
    Transport *current = m_transport.get();
    connect(current, &Transport::readyRead, this, &EmulatorSession::onReadyRead);
    connect(current, &Transport::failed, this, &EmulatorSession::onTransportFailed);
    connect(current, &Transport::clientConnected, this, &EmulatorSession::clientConnected);
    connect(current, &Transport::clientLeft, this, &EmulatorSession::onClientLeft);
    connect(current, &Transport::clientRefused, this, &EmulatorSession::clientRefused);
    connect(current, &Transport::clientNotice, this, &EmulatorSession::clientNotice);
}

bool EmulatorSession::open(QString *errorText)
{
    if (m_port)
        adopt(m_port->makeTransport({m_portNameMapper, m_tcpTakeoverAfterMs}));
    if (!m_transport) {
        if (errorText)
            *errorText = QStringLiteral("No port is chosen.");
        return false;
    }
    const bool opened = m_transport->open(errorText);
    if (opened)
        m_pollTimer.start();
    if (opened)
        qCDebug(lcSession).noquote() << "opened" << m_transport->description();
    else
        qCDebug(lcSession).noquote() << "could not open" << m_transport->description() << "-"
                                     << (errorText ? *errorText : QString());
    return opened;
}

bool EmulatorSession::close(QString *errorText)
{
    m_pollTimer.stop();
    m_pacer.clear();
    if (!m_transport || !m_transport->isOpen())
        return true;
    qCDebug(lcSession).noquote() << "closing" << m_transport->description();
    return m_transport->close(errorText);
}

bool EmulatorSession::setHandControlSettings(const HandControlSettings &settings)
{
    return m_interpreter->setHandControlSettings(settings);
}

void EmulatorSession::setJournalKept(bool kept)
{
    if (!kept)
        m_journal.reset();
    else if (!m_journal)
        m_journal = std::make_unique<ExchangeJournal>();
}

void EmulatorSession::LogUnanswered(const Bytes &bytes, const std::string &reason)
{
    if (m_journal)
        m_journal->recordUnanswered(QDateTime::currentMSecsSinceEpoch(), bytes,
                                    m_interpreter->decodeContext());
    emit unanswered(bytes, QString::fromStdString(reason));
}

void EmulatorSession::resetBuffer() { m_interpreter->resetBuffer(); }

void EmulatorSession::clearLogs() { m_interpreter->clearLogs(); }

void EmulatorSession::onReadyRead()
{
    m_event = comEvReceive;
    m_interpreter->frmMain_Comm_OnComm();
    m_event = 0;
}

void EmulatorSession::onClientLeft()
{
    // The next client starts afresh, not in the middle of this one's command, and gets none of
    // the replies still on their way to this one.
    qCDebug(lcSession).noquote() << "the client left; the command buffer starts afresh";
    m_pacer.clear();
    m_interpreter->resetBuffer();
    emit clientLeft();
}

void EmulatorSession::onTransportFailed(const QString &errorText)
{
    qCDebug(lcSession).noquote() << "the port failed:" << errorText;
    m_pacer.clear();
    emit portFailed(errorText);
}

Bytes EmulatorSession::Input()
{
    const QByteArray received = m_transport ? m_transport->readAll() : QByteArray();
    return Bytes(received.constData(), static_cast<std::size_t>(received.size()));
}

// The reply goes out as the stages make it; without stages it is the interpreter's as it is.
void EmulatorSession::Output(const Bytes &bytes)
{
    Bytes &reply = m_exchange.reply;
    reply = bytes;
    m_exchange.note.clear();
    if (!m_replyChain.isEmpty())
        m_exchange.note = m_replyChain.run(
                reply, {m_exchange.command, m_exchange.msecsSinceEpoch, m_exchange.context});
    m_exchange.sent = m_transport && m_transport->canDeliver();
    if (reply.empty() || !m_exchange.sent)
        return;
    const QByteArray out(reply.data(), static_cast<qsizetype>(reply.size()));
    if (m_lineTiming == LineTiming::Fast && m_pacer.isIdle()) {
        writeToTransport(out);
        return;
    }
    // A client that writes faster than the line carries would grow the queue without end: past
    // the bound its replies are not sent, and the record says so.
    if (m_pacer.pendingBytes() + out.size() > maxPacedBytes) {
        m_exchange.sent = false;
        return;
    }
    // Pass-through and motor queries go over the hand control's bus before it answers.
    const bool overTheBus = !m_exchange.command.empty() && m_exchange.command.front() == 'P';
    m_pacer.send(out,
                 m_lineTiming == LineTiming::Real && overTheBus ? m_busDelay
                                                                : std::chrono::milliseconds(0));
}

bool EmulatorSession::writeToTransport(const QByteArray &bytes)
{
    if (!m_transport || !m_transport->isOpen())
        return false;
    QString errorText;
    if (m_transport->write(bytes, &errorText))
        return true;
    m_pacer.clear();
    m_transport->close(nullptr);
    emit portFailed(errorText);
    return false;
}

// The command opens the exchange's record; it is reported whole once the reply has gone out.
void EmulatorSession::InputListAddItem(const Bytes &line)
{
    m_exchange.msecsSinceEpoch = QDateTime::currentMSecsSinceEpoch();
    m_exchange.command = line;
    m_exchange.context = m_interpreter->decodeContext();
}

void EmulatorSession::SetInputLabel(const std::string &text)
{
    emit commandCountChanged(fromStd(text));
}

void EmulatorSession::InputListClear()
{
    if (m_journal)
        m_journal->clear();
    emit commandLogCleared();
}

// The record has the reply as it went out, which the stages may have made from `line`.
void EmulatorSession::RespListAddItem(const Bytes &)
{
    if (m_journal)
        m_journal->record(m_exchange);
    emit exchanged(m_exchange);
}

void EmulatorSession::SetRespLabel(const std::string &text)
{
    emit replyCountChanged(fromStd(text));
}

void EmulatorSession::SetCommandText(const Bytes &buffer, std::uint64_t droppedBytes)
{
    emit bufferChanged(buffer, droppedBytes);
}

} // namespace tqx
