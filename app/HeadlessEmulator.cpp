#include "app/HeadlessEmulator.h"

#include "app/Logging.h"

#include "app/ExchangeLine.h"
#include "app/LineWriter.h"
#include "emulation/ExchangeDecoder.h"
#include "session/DisplayText.h"

#include <QDateTime>
#include <QFile>

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
                writeEvent(QStringLiteral("unanswered: %1 (%2)").arg(displayText(bytes), reason));
            });
    connect(&m_session, &EmulatorSession::exchanged, this, &HeadlessEmulator::writeExchange);
    connect(&m_session, &EmulatorSession::clientNotice, this, &HeadlessEmulator::writeEvent);
    connect(&m_session, &EmulatorSession::portFailed, this, [this](const QString &errorText) {
        reportError(QStringLiteral("the port failed: %1").arg(errorText));
        stop();
        emit portLost();
    });
    connect(&m_session, &EmulatorSession::clientConnected, this,
            [this](const QString &client) { writeEvent(m_port.clientConnectedText(client)); });
    connect(&m_session, &EmulatorSession::clientLeft, this,
            [this] { writeEvent(m_port.clientLeftText()); });
    connect(&m_session, &EmulatorSession::clientRefused, this, [this](const QString &client) {
        writeEvent(QStringLiteral("refused a second client from %1: one client at a time")
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

bool HeadlessEmulator::configurePort()
{
    QString errorText;
    const std::optional<PortChoice> port = PortChoice::parse(m_options.port, &errorText);
    if (!port) {
        reportError(QStringLiteral("--port %1: %2").arg(m_options.port.trimmed(), errorText));
        return false;
    }
    m_port = *port;
    m_session.setPort(m_port);
    qCDebug(lcApp).noquote() << "headless on" << m_port.toString();
    return true;
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

    if (!configurePort())
        return UsageError;
    QString errorText;
    if (!m_session.open(&errorText)) {
        reportError(QStringLiteral("cannot open %1: %2").arg(m_options.port, errorText));
        return PortFailure;
    }
    m_output->write(
            m_port.listeningText(m_session.portName(), m_session.publishedLink()).toStdString()
            + '\n');
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
        writeEvent(QStringLiteral("faults: %1 (--seed %2 repeats them)")
                           .arg(rules.join(QStringLiteral(", ")))
                           .arg(seed));
    }
    return Success;
}

void HeadlessEmulator::stop()
{
    m_control.close();
    m_session.close(nullptr);
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
        writeEvent(QStringLiteral("control channel on %1").arg(m_control.address()));
    return true;
}

// One line per answered command: time, command and reply as it went out, tab-separated and
// escaped as the console shows them, so that a test can read it back; with --decode, what they
// mean as well. What the reply stages did follows as an event line, which leaves the exchange
// lines' columns as harnesses read them.
void HeadlessEmulator::writeExchange(const Exchange &exchange)
{
    if (!exchange.sent) {
        writeEvent(QStringLiteral("unanswered: %1 (the client had gone; the reply %2 was not sent)")
                           .arg(displayText(exchange.command), displayText(exchange.reply)));
    } else if (!m_options.decode) {
        writeText(
                m_exchangeLine.format(exchange.msecsSinceEpoch, exchange.command, exchange.reply));
    } else {
        const ExchangeDecoder decoder(exchange.context);
        std::string meaning = decoder.exchange(exchange.command, exchange.reply);
        // A changed reply means what the stages made of it, and says so.
        if (!exchange.note.isEmpty())
            meaning += "; " + exchange.note.toStdString();
        writeText(m_exchangeLine.format(exchange.msecsSinceEpoch, exchange.command, exchange.reply,
                                        meaning));
    }
    if (!exchange.note.isEmpty())
        writeEvent(QStringLiteral("the reply to %1 went through the reply stages: %2")
                           .arg(displayText(exchange.command), exchange.note));
}

// Events on the line are comment lines, so that a reader of the exchanges can skip them.
void HeadlessEmulator::writeEvent(const QString &text)
{
    writeLine(QStringLiteral("# %1 %2").arg(exchangeTimeText(QDateTime::currentDateTime()), text));
}

void HeadlessEmulator::writeLine(const QString &line) { writeText(line.toStdString() + '\n'); }

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
