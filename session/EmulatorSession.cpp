#include "session/EmulatorSession.h"

#include "session/FaultStage.h"
#include "session/Logging.h"
#include "session/PortNames.h"
#include "session/VirtualPort.h"

#include <QDateTime>

#include <algorithm>
#include <chrono>

namespace tqx {

namespace {
// How often the interpreter looks at what waits on time: a quiet gap after an unknown command, a
// blocked buffer's automatic reset.
constexpr int pollIntervalMs = 50;

qint64 steadyNowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

QString fromStd(const std::string &text)
{
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}
} // namespace

EmulatorSession::EmulatorSession(QObject *parent)
    : QObject(parent)
    , m_portNameMapper(platformPortName)
    , m_pacer([this](const QByteArray &bytes) { return writeToTransport(bytes); })
    , m_steadyMs(steadyNowMs)
{
    // The session is the interpreter's port and display (private bases, known only here).
    SerialControl &port = *this;
    ConsoleDisplay &display = *this;
    m_interpreter = std::make_unique<CommandInterpreter>(port, display);
    m_interpreter->setMountClocks(m_mountClock.clocks());
    m_interpreter->mount().setStartValues();
    m_pollTimer.setInterval(pollIntervalMs);
    connect(&m_pollTimer, &QTimer::timeout, this, [this] { m_interpreter->poll(); });
    m_heldTimer.setSingleShot(true);
    connect(&m_heldTimer, &QTimer::timeout, this, &EmulatorSession::sendHeldReplies);
}

EmulatorSession::~EmulatorSession()
{
    close(nullptr);
    // The interpreter refers to this session as its port and display; it goes first.
    m_interpreter.reset();
    if (m_transport)
        m_transport->disconnect(this);
}

void EmulatorSession::setPort(const PortChoice &port) { m_port = port; }

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
        adopt(m_port->makeTransport(
                {m_portNameMapper, m_tcpTakeoverAfterMs, m_tcpListeningSocket}));
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
    m_heldTimer.stop();
    m_held.clear();
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

void EmulatorSession::setFaults(std::vector<FaultRule> rules, std::uint64_t seed)
{
    m_replyChain.remove(m_faults);
    m_faults = nullptr;
    if (rules.empty())
        return;
    auto stage
            = std::make_unique<FaultStage>(std::move(rules), seed, [this] { return m_steadyMs(); });
    m_faults = stage.get();
    m_replyChain.append(std::move(stage));
}

void EmulatorSession::setClock(std::function<qint64()> steadyMs)
{
    m_steadyMs = steadyMs ? std::move(steadyMs) : std::function<qint64()>(steadyNowMs);
}

bool EmulatorSession::isSilent() const
{
    return m_silentUntilMs != 0 && m_steadyMs() < m_silentUntilMs;
}

void EmulatorSession::onReadyRead()
{
    if (isSilent()) {
        // A silent line reads what comes and does nothing with it.
        const Bytes dropped = Input();
        if (!dropped.empty())
            LogUnanswered(dropped, m_silenceReason.toStdString());
        return;
    }
    m_event = comEvReceive;
    m_answeredInEvent = 0;
    m_replyOnItsWay = m_pacer.pendingBytes() > 0 || !m_held.empty();
    m_unreadAtEvent = m_watchingClientReads && m_transport ? m_transport->clientUnreadBytes()
                                                           : std::nullopt;
    m_interpreter->frmMain_Comm_OnComm();
    m_event = 0;
    carryOut(std::exchange(m_linePlan, {}));
    for (const std::function<void()> &change : std::exchange(m_afterAnswering, {}))
        change();
}

void EmulatorSession::afterAnswering(std::function<void()> change)
{
    if (m_event == 0)
        change();
    else
        m_afterAnswering.push_back(std::move(change));
}

// What a fault does to the line once the replies to what arrived have been dealt with.
void EmulatorSession::carryOut(const ReplyPlan &plan)
{
    if (plan.restart) {
        // Switched off, the hand control forgets what it was doing and where it was.
        m_interpreter->restart();
    }
    if (plan.dropClient && m_transport) {
        if (!dropClient())
            emit clientNotice(QStringLiteral("a serial port has no connection of its own to "
                                             "drop: the fault only left the reply out"));
    }
}

bool EmulatorSession::dropClient()
{
    if (!m_transport || !m_transport->canDeliver())
        return false;
    m_held.clear();
    return m_transport->dropClient();
}

void EmulatorSession::onClientLeft()
{
    // The next client starts afresh, not in the middle of this one's command, and gets none of
    // the replies still on their way to this one.
    qCDebug(lcSession).noquote() << "the client left; the command buffer starts afresh";
    m_pacer.clear();
    m_held.clear();
    // What it left half-sent goes with it, and is recorded as going.
    const Bytes unanswered = m_interpreter->CommandBuffer();
    m_interpreter->resetBuffer();
    if (!unanswered.empty())
        LogUnanswered(unanswered, "reset as the client left before it was answered");
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
    ReplyPlan plan;
    if (isSilent()) {
        // Commands that came in the same read as the one that silenced the line.
        reply.clear();
        m_exchange.note = QStringLiteral("no reply: ") + m_silenceReason;
    } else if (!m_replyChain.isEmpty()) {
        m_exchange.note = m_replyChain.run(
                reply, {m_exchange.command, m_exchange.msecsSinceEpoch, m_exchange.context}, &plan);
        // The rest of what arrived with this command meets the silent line too.
        if (plan.silentForMs > 0) {
            m_silentUntilMs = std::max(m_silentUntilMs, m_steadyMs() + plan.silentForMs);
            m_silenceReason = plan.restart
                    ? QStringLiteral("the hand control is switched off (fault)")
                    : QStringLiteral("the line is silent (fault)");
        }
        m_linePlan.restart = m_linePlan.restart || plan.restart;
        m_linePlan.dropClient = m_linePlan.dropClient || plan.dropClient;
    }
    m_exchange.sent = m_transport && m_transport->canDeliver();
    if (reply.empty() || !m_exchange.sent)
        return;
    // Pass-through and motor queries go over the hand control's bus before it answers.
    const bool overTheBus = !m_exchange.command.empty() && m_exchange.command.front() == 'P';
    if (plan.isTimed() || !m_held.empty()) {
        hold(reply, plan);
        return;
    }
    m_exchange.sent = deliver(QByteArray(reply.data(), static_cast<qsizetype>(reply.size())),
                              overTheBus ? m_busDelay : std::chrono::milliseconds(0));
}

// Onto the line: at once, or, with real line timing or while paced bytes are still on their
// way, at the line's pace behind them. A client that writes faster than the line carries would
// grow that queue without end: past the bound a reply is not sent, and false says so.
bool EmulatorSession::deliver(const QByteArray &bytes, std::chrono::milliseconds busDelay)
{
    if (m_lineTiming == LineTiming::Fast && m_pacer.isIdle())
        return writeToTransport(bytes);
    if (m_pacer.pendingBytes() + bytes.size() > maxPacedBytes)
        return false;
    m_pacer.send(bytes, m_lineTiming == LineTiming::Real ? busDelay : std::chrono::milliseconds(0));
    return true;
}

bool EmulatorSession::writeToTransport(const QByteArray &bytes)
{
    if (!m_transport || !m_transport->isOpen())
        return false;
    QString errorText;
    if (m_transport->write(bytes, &errorText))
        return true;
    m_pacer.clear();
    m_held.clear();
    m_transport->close(nullptr);
    emit portFailed(errorText);
    return false;
}

// A held reply goes out no sooner than its delay and never before the replies answered before
// it, so that the client reads its replies in the order of its commands.
void EmulatorSession::hold(const Bytes &reply, const ReplyPlan &plan)
{
    const qint64 nowMs = m_steadyMs();
    qint64 dueMs = nowMs + plan.delayMs;
    if (!m_held.empty())
        dueMs = std::max(dueMs, m_held.back().dueMs);
    const qsizetype size = qsizetype(reply.size());
    const qsizetype pieces = std::clamp<qsizetype>(plan.pieces, 1, size);
    qsizetype start = 0;
    for (qsizetype piece = 0; piece < pieces; ++piece) {
        const qsizetype end = size * (piece + 1) / pieces;
        m_held.push_back({dueMs, QByteArray(reply.data() + start, end - start)});
        start = end;
        dueMs += plan.pieceGapMs;
    }
    sendHeldReplies();
}

void EmulatorSession::sendHeldReplies()
{
    const qint64 nowMs = m_steadyMs();
    while (!m_held.empty() && m_held.front().dueMs <= nowMs) {
        const QByteArray bytes = std::move(m_held.front().bytes);
        m_held.pop_front();
        if (!m_transport || !m_transport->canDeliver()) {
            m_held.clear(); // the client has gone, and its replies with it
            break;
        }
        if (!deliver(bytes, std::chrono::milliseconds(0))) {
            qsizetype dropped = bytes.size();
            for (const HeldPiece &held : m_held)
                dropped += held.bytes.size();
            m_held.clear();
            // A failed write has closed the port and said why; what is left is the bound.
            if (m_transport && m_transport->isOpen())
                emit clientNotice(QStringLiteral("%1 bytes of delayed replies were not sent: the "
                                                 "client sends commands faster than the line "
                                                 "carries their replies")
                                          .arg(dropped));
            break;
        }
    }
    if (m_held.empty())
        m_heldTimer.stop();
    else
        m_heldTimer.start(int(std::min<qint64>(m_held.front().dueMs - nowMs, 24 * 3600 * 1000)));
}

// The command opens the exchange's record; it is reported whole once the reply has gone out.
void EmulatorSession::InputListAddItem(const Bytes &line)
{
    m_exchange.msecsSinceEpoch = QDateTime::currentMSecsSinceEpoch();
    m_exchange.command = line;
    m_exchange.context = m_interpreter->decodeContext();
    m_exchange.pipelined = m_answeredInEvent++ > 0 || m_replyOnItsWay;
    // Only the first command of an arrival can have been sent after reading: the rest came with
    // it.
    m_exchange.clientUnreadBytes = m_answeredInEvent == 1 ? m_unreadAtEvent : std::nullopt;
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
