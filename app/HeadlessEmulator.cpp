#include "app/HeadlessEmulator.h"

#include "app/Logging.h"

#include "app/ExchangeLine.h"
#include "app/LineWriter.h"
#include "app/ServiceManager.h"
#include "emulation/ExchangeDecoder.h"
#include "session/DisplayText.h"
#include "session/EmergencyExit.h"
#include "session/ProgramInstance.h"
#include "session/TcpTransport.h"
#include "session/UtcText.h"
#include "settings/EmulatorSettings.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QJsonDocument>
#include <QSaveFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include <random>

#include <fcntl.h>

namespace tqx {

namespace {
constexpr const char *programName = "tqx-orbivo-emulator: ";
// How long the writers have, all together, to write what is queued when the program ends.
constexpr std::chrono::milliseconds finishTime(1200);
} // namespace

HeadlessEmulator::HeadlessEmulator(HeadlessOptions options, int outputFd, int errorFd,
                                   QObject *parent)
    : QObject(parent)
    , m_options(std::move(options))
    , m_errors(std::make_shared<LineWriter>(errorFd, "standard error"))
    , m_jsonLine(ProgramInstance::name().toStdString())
    , m_session(this)
{
    m_output = std::make_unique<LineWriter>(outputFd, "standard output", errorReporter());
    m_session.setVersionReply(m_options.versionReply);
    m_session.setProfile(m_options.profile);
    m_session.setHandControlSettings(m_options.handControl);
    m_session.setAutoResetAfter(m_options.resetAfterMs);
    m_session.setTcpTakeoverAfter(m_options.takeoverAfterMs);
    m_session.setLineTiming(m_options.lineTiming);
    m_session.setBusDelay(m_options.busDelay);
    // Nothing saves a log here: the lines are the record.
    m_session.setJournalKept(false);
    connect(&m_session, &EmulatorSession::unanswered, this,
            [this](const Bytes &bytes, const QString &reason) {
                writeEvent("unanswered",
                           QStringLiteral("unanswered: %1 (%2)").arg(displayText(bytes), reason));
            });
    connect(&m_session, &EmulatorSession::exchanged, this, &HeadlessEmulator::writeExchange);
    connect(&m_session, &EmulatorSession::clientNotice, this,
            [this](const QString &text) { writeEvent("client-notice", text); });
    connect(&m_session, &EmulatorSession::portFailed, this, [this](const QString &errorText) {
        reportError(QStringLiteral("the port failed: %1").arg(errorText));
        stop();
        emit portLost();
    });
    connect(&m_session, &EmulatorSession::clientConnected, this, [this](const QString &client) {
        writeEvent("client-connected", m_port.clientConnectedText(client));
    });
    connect(&m_session, &EmulatorSession::clientLeft, this,
            [this] { writeEvent("client-left", m_port.clientLeftText()); });
    connect(&m_session, &EmulatorSession::clientRefused, this, [this](const QString &client) {
        writeEvent("client-refused",
                   QStringLiteral("refused a second client from %1: one client at a time")
                           .arg(client));
    });
}

HeadlessEmulator::~HeadlessEmulator()
{
    stop();
    m_session.disconnect(this);
    // The writers write what is queued, all at once and within a bounded time (the emergency
    // exit comes 3 s after a signal); what a destination did not take in that time is counted
    // and said on standard error.
    using namespace std::chrono;
    const auto deadline = steady_clock::now() + finishTime;
    std::vector<LineWriter *> writers {m_output.get()};
    if (m_log)
        writers.push_back(m_log.get());
    for (LineWriter *writer : writers)
        writer->beginFinish();
    for (LineWriter *writer : writers) {
        const auto left = duration_cast<milliseconds>(deadline - steady_clock::now());
        writer->finish(std::max(left, milliseconds(0)));
    }
    for (const LineWriter *writer : writers)
        reportUnwritten(*writer);
    m_errors->finish(finishTime);
}

void HeadlessEmulator::reportUnwritten(const LineWriter &writer)
{
    const std::uint64_t lines = writer.linesNotWritten();
    if (lines == 0)
        return;
    reportError(QStringLiteral("%1 %2 not written to %3 before the program ended: it did not "
                               "take them in time")
                        .arg(lines)
                        .arg(lines == 1 ? QStringLiteral("line was") : QStringLiteral("lines were"))
                        .arg(QString::fromStdString(writer.name())));
}

HeadlessEmulator::ExitCode HeadlessEmulator::configurePort()
{
    const bool passedSocket = m_options.listeningSocket >= 0;
    if (m_options.port.trimmed().compare(EmulatorSettings::serviceManagerPort(),
                                         Qt::CaseInsensitive)
        == 0) {
        if (!passedSocket) {
            reportError(QStringLiteral("--port %1: the service manager passed no listening "
                                       "socket (it does with socket activation)")
                                .arg(EmulatorSettings::serviceManagerPort()));
            return PortFailure;
        }
        m_port = PortChoice::tcp();
    } else {
        QString errorText;
        const std::optional<PortChoice> port = PortChoice::parse(m_options.port, &errorText);
        if (!port) {
            reportError(QStringLiteral("--port %1: %2").arg(m_options.port.trimmed(), errorText));
            return UsageError;
        }
        m_port = *port;
    }
    // The service manager decides where a socket-activated service listens.
    if (passedSocket && m_port.kind() == PortChoice::Kind::Tcp)
        m_session.setTcpListeningSocket(m_options.listeningSocket);
    else if (passedSocket)
        reportError(QStringLiteral("the service manager passed a listening socket, which only a "
                                   "network port takes: %1 does not use it")
                            .arg(m_port.toString()));
    m_session.setPort(m_port);
    qCDebug(lcApp).noquote() << "headless on" << m_port.toString();
    return Success;
}

// Opens the log without waiting: a FIFO that no process reads yet is opened by the log's writer
// when a reader comes, and its lines wait (or are counted as dropped) until then.
bool HeadlessEmulator::openLog()
{
    const QByteArray path = QFile::encodeName(m_options.logPath);
    const LineWriter::Reporter reporter = errorReporter();
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

    if (const ExitCode configured = configurePort(); configured != Success)
        return configured;
    // Set before the port opens: a client's first command already sees the mount's time.
    MountClock &clock = m_session.mountClock();
    if (m_options.startUtcMs)
        clock.setUtc(*m_options.startUtcMs);
    clock.setRate(m_options.timeRate);
    QString errorText;
    if (!m_session.open(&errorText)) {
        reportError(QStringLiteral("cannot open %1: %2").arg(m_options.port, errorText));
        return PortFailure;
    }
    const QString listening = m_port.listeningText(m_session.portName(), m_session.publishedLink());
    if (m_options.logFormat == LogFormat::Jsonl) {
        const QByteArray connect = QJsonDocument(connectFields()).toJson(QJsonDocument::Compact);
        m_output->write(m_jsonLine.event(QDateTime::currentMSecsSinceEpoch(), "listening",
                                         listening.toStdString(),
                                         "\"connect\":" + connect.toStdString()));
    } else {
        m_output->write(listening.toStdString() + '\n');
    }
    if (!startControl()) {
        stop();
        return PortFailure;
    }
    if (!m_options.faults.empty()) {
        const std::uint64_t seed = m_options.faultSeed.value_or(
                (std::uint64_t(std::random_device()()) << 32) | std::random_device()());
        m_session.setFaults(m_options.faults, seed);
        QStringList rules;
        for (const FaultRule &rule : m_options.faults)
            rules << rule.text;
        writeEvent("faults",
                   QStringLiteral("faults: %1 (--seed %2 repeats them)")
                           .arg(rules.join(QStringLiteral(", ")))
                           .arg(seed));
    }
    if (m_options.startUtcMs || m_options.timeRate != 1)
        writeEvent("mount-clock",
                   QStringLiteral("mount clock: %1 at %2 times real time")
                           .arg(UtcText::format(clock.utcMs()))
                           .arg(m_options.timeRate));
    // Ready once everything is set up; the first command is read after this returns.
    if (!m_options.readyFilePath.isEmpty() && !writeReadyFile()) {
        stop();
        return PortFailure;
    }
    ServiceManager::notifyReady(listening);
    m_readyNotified = true;
    return Success;
}

void HeadlessEmulator::stop()
{
    if (m_readyNotified) {
        m_readyNotified = false;
        ServiceManager::notifyStopping();
    }
    m_control.close();
    m_session.close(nullptr);
    if (m_readyFileWritten) {
        m_readyFileWritten = false;
        QFile::remove(m_options.readyFilePath);
        EmergencyExit::forget(QFile::encodeName(m_options.readyFilePath).toStdString());
    }
}

QJsonObject HeadlessEmulator::connectFields() const
{
    QJsonObject fields;
    switch (m_port.clientAccess()) {
    case PortChoice::ClientAccess::DevicePath:
        fields.insert(QStringLiteral("device"), m_session.clientDevice());
        if (const QString link = m_session.publishedLink(); !link.isEmpty())
            fields.insert(QStringLiteral("link"), link);
        break;
    case PortChoice::ClientAccess::OtherEndOfTheLine:
        fields.insert(QStringLiteral("device"), m_session.portName());
        break;
    case PortChoice::ClientAccess::NetworkAddress:
        if (const auto *listener = qobject_cast<const TcpTransport *>(m_session.transport())) {
            fields.insert(QStringLiteral("address"), listener->listeningAddress().toString());
            fields.insert(QStringLiteral("port"), int(listener->listeningPort()));
        }
        break;
    }
    return fields;
}

QJsonObject HeadlessEmulator::readyFields() const
{
    QJsonObject fields;
    fields.insert(QStringLiteral("pid"), QCoreApplication::applicationPid());
    fields.insert(QStringLiteral("port"), m_options.port);
    fields.insert(QStringLiteral("connect"), connectFields());
    if (const QString instance = ProgramInstance::name(); !instance.isEmpty())
        fields.insert(QStringLiteral("instance"), instance);
    if (m_control.isListening())
        fields.insert(QStringLiteral("control"), m_control.address());
    return fields;
}

// Written whole under a temporary name in the same folder and renamed, so that whoever waits
// for the file never reads half of it. Once, at start: never on the way of an answer.
bool HeadlessEmulator::writeReadyFile()
{
    QSaveFile file(m_options.readyFilePath);
    const bool written = file.open(QIODevice::WriteOnly)
            && file.write(QJsonDocument(readyFields()).toJson(QJsonDocument::Compact) + '\n') >= 0
            && file.commit();
    if (!written) {
        reportError(QStringLiteral("cannot write the ready file %1: %2")
                            .arg(m_options.readyFilePath, file.errorString()));
        return false;
    }
    m_readyFileWritten = true;
    EmergencyExit::removeOnExit(QFile::encodeName(m_options.readyFilePath).toStdString());
    return true;
}

// Once the port is open, so that a harness that finds the control socket finds a mount to drive.
bool HeadlessEmulator::startControl()
{
    const ControlAddress address = m_options.control.value_or(ControlAddress::defaultLocal());
    if (address.kind == ControlAddress::Kind::Off)
        return true;
    QString errorText;
    if (!m_control.listen(address, &errorText)) {
        reportError(errorText);
        // A harness that asked for a channel must not drive a copy without one; a copy started
        // beside another with neither --control nor --instance runs on, as its port does.
        if (m_options.control)
            return false;
        reportError(QStringLiteral("running on without a control channel"));
        return true;
    }
    // Said only when asked for, so that the lines of a run without --control stay as harnesses
    // read them; the default is documented, and tcp:0 needs saying.
    if (m_options.control)
        writeEvent("control", QStringLiteral("control channel on %1").arg(m_control.address()));
    return true;
}

// One line per answered command: time, command and reply as it went out, tab-separated and
// escaped as the console shows them, so that a test can read it back; with --decode, what they
// mean as well. What the reply stages did follows as an event line, which leaves the exchange
// lines' columns as harnesses read them.
void HeadlessEmulator::writeExchange(const Exchange &exchange)
{
    const bool json = m_options.logFormat == LogFormat::Jsonl;
    if (!exchange.sent) {
        writeEvent("unanswered",
                   QStringLiteral("unanswered: %1 (the client had gone; the reply %2 was not sent)")
                           .arg(displayText(exchange.command), displayText(exchange.reply)));
    } else if (!m_options.decode && json) {
        writeText(m_jsonLine.exchange(exchange.msecsSinceEpoch, exchange.command, exchange.reply));
    } else if (!m_options.decode) {
        writeText(
                m_exchangeLine.format(exchange.msecsSinceEpoch, exchange.command, exchange.reply));
    } else {
        const ExchangeDecoder decoder(exchange.context);
        std::string meaning = decoder.exchange(exchange.command, exchange.reply);
        // A changed reply means what the stages made of it, and says so.
        if (!exchange.note.isEmpty())
            meaning += "; " + exchange.note.toStdString();
        writeText(json ? m_jsonLine.exchange(exchange.msecsSinceEpoch, exchange.command,
                                             exchange.reply, meaning)
                       : m_exchangeLine.format(exchange.msecsSinceEpoch, exchange.command,
                                               exchange.reply, meaning));
    }
    if (!exchange.note.isEmpty())
        writeEvent("reply-stages",
                   QStringLiteral("the reply to %1 went through the reply stages: %2")
                           .arg(displayText(exchange.command), exchange.note));
}

// Events on the line are comment lines, so that a reader of the exchanges can skip them.
void HeadlessEmulator::writeEvent(const char *kind, const QString &text)
{
    const QDateTime now = QDateTime::currentDateTime();
    if (m_options.logFormat == LogFormat::Jsonl)
        writeText(m_jsonLine.event(now.toMSecsSinceEpoch(), kind, text.toStdString()));
    else
        writeText(QStringLiteral("# %1 %2\n").arg(exchangeTimeText(now), text).toStdString());
}

// To standard output and the log alike.
void HeadlessEmulator::writeText(std::string text)
{
    if (m_log)
        m_log->write(text);
    m_output->write(std::move(text));
}

// The writers report their failures as messages on standard error.
LineWriter::Reporter HeadlessEmulator::errorReporter() const
{
    return [errors = m_errors](const std::string &text) {
        errors->write(programName + text + '\n');
    };
}

void HeadlessEmulator::reportError(const QString &text) { errorReporter()(text.toStdString()); }

} // namespace tqx
