#include "app/ScenarioRun.h"

#include "app/Logging.h"
#include "emulation/ExchangeDecoder.h"
#include "scenario/ScenarioReport.h"
#include "session/TcpTransport.h"
#include "session/UtcText.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QSaveFile>

#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

namespace tqx {

namespace {

// Often enough that a step at a mount time and a deadline are met within a few tens of
// milliseconds of real time, at any clock rate a test is likely to choose.
constexpr int tickMs = 20;
// How long a client is given to end after it is asked to.
constexpr int clientEndMs = 2000;
// A client that waits for each reply reads it whole within milliseconds; bytes still unread this
// long after the last reply, while the client sends nothing, are bytes it will read as the start
// of its next reply.
constexpr qint64 unreadAfterMs = 500;

QByteArray bytesOf(const Bytes &bytes) { return {bytes.data(), qsizetype(bytes.size())}; }

QString secondsText(qint64 ms)
{
    return QString::number(double(ms) / 1000, 'f', 3) + QStringLiteral(" s");
}

void say(const QString &text)
{
    std::fputs(qPrintable(text + QLatin1Char('\n')), stdout);
    std::fflush(stdout);
}

bool writeFile(const QString &path, const QByteArray &contents)
{
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size() && file.commit())
        return true;
    std::fprintf(stderr, "tqx-orbivo-emulator: cannot write %s: %s\n", qPrintable(path),
                 qPrintable(file.errorString()));
    return false;
}

} // namespace

ScenarioRun::ScenarioRun(Scenario scenario, HeadlessOptions emulator, QStringList client,
                         ScenarioRunOutput output, QObject *parent)
    : QObject(parent)
    , m_scenario(std::move(scenario))
    , m_options(std::move(emulator))
    , m_client(std::move(client))
    , m_output(std::move(output))
    , m_judge(m_scenario)
    , m_checks(m_scenario.checks)
{
    m_ticker.setInterval(tickMs);
    connect(&m_ticker, &QTimer::timeout, this, &ScenarioRun::onTick);
}

ScenarioRun::~ScenarioRun()
{
    if (m_clientProcess.state() != QProcess::NotRunning) {
        m_clientProcess.kill();
        m_clientProcess.waitForFinished(clientEndMs);
    }
    m_emulator.reset();
    if (m_nullFd >= 0)
        ::close(m_nullFd);
}

QStringList ScenarioRun::clientCommand(const QStringList &command, const QString &link,
                                       const QString &device, const QString &host, quint16 tcpPort)
{
    const QString port = tcpPort ? QStringLiteral("%1:%2").arg(host).arg(tcpPort) : link;
    QStringList filled;
    for (QString part : command) {
        part.replace(QStringLiteral("{port}"), port);
        part.replace(QStringLiteral("{device}"), device.isEmpty() ? port : device);
        part.replace(QStringLiteral("{host}"), host);
        part.replace(QStringLiteral("{tcp_port}"), tcpPort ? QString::number(tcpPort) : QString());
        filled << part;
    }
    return filled;
}

bool ScenarioRun::start(int *exitCode)
{
    // The exchange lines go to the log the options name, if any; the terminal gets the summary.
    m_nullFd = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    m_emulator = std::make_unique<HeadlessEmulator>(m_options, m_nullFd, STDERR_FILENO);
    EmulatorSession &session = m_emulator->session();
    connect(&session, &EmulatorSession::exchanged, this, &ScenarioRun::onExchange);
    connect(&session, &EmulatorSession::unanswered, this, &ScenarioRun::onUnanswered);
    connect(&session, &EmulatorSession::clientConnected, this, [this](const QString &client) {
        if (m_finished)
            return;
        m_judge.note(QStringLiteral("%1 a client connected %2").arg(secondsText(nowMs()), client));
        m_judge.clientConnected(nowMs());
        m_checks.clientConnected();
    });
    connect(&session, &EmulatorSession::clientLeft, this, [this] {
        if (!m_finished)
            m_judge.note(QStringLiteral("%1 the client left").arg(secondsText(nowMs())));
    });
    connect(m_emulator.get(), &HeadlessEmulator::portLost, this,
            [this] { finish(QStringLiteral("the emulator's port was lost")); });

    const HeadlessEmulator::ExitCode started = m_emulator->start();
    if (started != HeadlessEmulator::Success) {
        *exitCode = started == HeadlessEmulator::UsageError ? UsageError : Failed;
        return false;
    }
    m_control = std::make_unique<ControlHandler>(session);
    m_clock.start();
    m_startedAt = UtcText::format(QDateTime::currentMSecsSinceEpoch());
    m_mountStartMs = session.mountClock().steadyMs();

    QString host;
    quint16 tcpPort = 0;
    if (const auto *listener = qobject_cast<const TcpTransport *>(session.transport())) {
        host = listener->listeningAddress().toString();
        tcpPort = listener->listeningPort();
    }
    const QString link
            = session.publishedLink().isEmpty() ? session.portName() : session.publishedLink();
    const QString where = tcpPort ? QStringLiteral("%1:%2").arg(host).arg(tcpPort) : link;
    say(QStringLiteral("scenario %1: clients connect at %2")
                .arg(m_scenario.name.isEmpty() ? m_scenario.path : m_scenario.name, where));
    // A network client's unread replies as each command comes: one that sends before it has
    // read the last reply whole.
    session.setWatchingClientReads(tcpPort != 0);

    onTick(); // steps at mount time 0 run before the client starts
    m_ticker.start();
    if (!m_client.isEmpty()) {
        const QStringList command
                = clientCommand(m_client, link, session.clientDevice(), host, tcpPort);
        say(QStringLiteral("client: %1").arg(command.join(QLatin1Char(' '))));
        m_clientProcess.setProcessChannelMode(QProcess::ForwardedChannels);
        connect(&m_clientProcess, &QProcess::finished, this,
                [this](int code, QProcess::ExitStatus status) {
                    finish(status == QProcess::NormalExit
                                   ? QStringLiteral("the client ended with exit code %1").arg(code)
                                   : QStringLiteral("the client crashed"));
                });
        connect(&m_clientProcess, &QProcess::errorOccurred, this,
                [this](QProcess::ProcessError error) {
                    if (error == QProcess::FailedToStart)
                        finish(QStringLiteral("the client could not be started: %1")
                                       .arg(m_clientProcess.errorString()));
                });
        m_clientProcess.start(command.constFirst(), command.mid(1));
    }
    return true;
}

void ScenarioRun::stop(const QString &why) { finish(why); }

bool ScenarioRun::gotoUnderWay() const
{
    const EmulatorSession &session = m_emulator->session();
    return session.profile() == Profile::Full
            && session.interpreter().handControl().mount().gotoInProgress();
}

void ScenarioRun::onExchange(const Exchange &exchange)
{
    if (m_finished)
        return;
    const qint64 at = nowMs();
    const QByteArray command = bytesOf(exchange.command);
    const ExchangeDecoder decoder(exchange.context);
    const QString meaning = QString::fromStdString(decoder.command(exchange.command));
    const QString line = QStringLiteral("%1 %2 -> %3  (%4)")
                                 .arg(secondsText(at), shownBytes(command),
                                      shownBytes(bytesOf(exchange.reply)),
                                      QString::fromStdString(
                                              decoder.exchange(exchange.command, exchange.reply)))
            + (exchange.note.isEmpty() ? QString() : QStringLiteral(" [%1]").arg(exchange.note));
    m_checks.exchanged(at, exchange, m_gotoUnderWay);
    m_lastExchangeMs = at;
    m_lastCommand = command;
    m_unreadLooked = false;
    m_gotoUnderWay = gotoUnderWay();
    m_judge.commandSent(at, command, meaning, line);
    // Once the interpreter is done with what arrived, before the client's next bytes: a step
    // that drops the client or resets the hand control must not pull the command from under it.
    const std::vector<std::size_t> triggered = m_judge.stepsTriggeredBy(command, meaning);
    if (!triggered.empty())
        m_emulator->session().afterAnswering([this, triggered] {
            if (!m_finished)
                runSteps(triggered);
        });
}

void ScenarioRun::onUnanswered(const Bytes &bytes, const QString &reason)
{
    if (m_finished)
        return;
    const DecodeContext context = m_emulator->session().interpreter().decodeContext();
    m_checks.unanswered(nowMs(), bytesOf(bytes), context, reason);
    m_judge.note(QStringLiteral("%1 %2 unanswered: %3")
                         .arg(secondsText(nowMs()), shownBytes(bytesOf(bytes)), reason));
}

void ScenarioRun::runSteps(const std::vector<std::size_t> &steps)
{
    for (const std::size_t index : steps) {
        const ScenarioStep &step = m_scenario.steps[index];
        const QJsonObject response = m_control->handle(step.request, m_noSubscription);
        const QString error = response.value(QStringLiteral("ok")).toBool()
                ? QString()
                : response.value(QStringLiteral("error")).toString();
        say(QStringLiteral("%1 step %2: %3%4")
                    .arg(secondsText(nowMs()))
                    .arg(index + 1)
                    .arg(QString::fromUtf8(
                                 QJsonDocument(step.request).toJson(QJsonDocument::Compact)),
                         error.isEmpty() ? QString() : QStringLiteral(" refused: ") + error));
        m_judge.stepRan(index, nowMs(), error);
    }
}

void ScenarioRun::onTick()
{
    if (m_finished)
        return;
    const qint64 mountElapsed = m_emulator->session().mountClock().steadyMs() - m_mountStartMs;
    runSteps(m_judge.stepsDue(mountElapsed));
    m_gotoUnderWay = gotoUnderWay();
    m_judge.tick(nowMs());
    if (!m_unreadLooked && nowMs() - m_lastExchangeMs >= unreadAfterMs) {
        m_unreadLooked = true;
        if (const Transport *transport = m_emulator->session().transport()) {
            if (const std::optional<long long> unread = transport->clientUnreadBytes();
                unread && *unread > 0)
                m_checks.repliesLeftUnread(nowMs(), *unread, m_lastCommand,
                                           nowMs() - m_lastExchangeMs);
        }
    }
    const bool judged = !m_scenario.expectations.empty() || !m_scenario.steps.empty();
    if (judged && m_judge.isSettled())
        finish(QStringLiteral("every expectation was decided"));
    else if (m_scenario.timeLimitMs > 0 && nowMs() >= m_scenario.timeLimitMs)
        finish(QStringLiteral("the time limit of %1").arg(secondsText(m_scenario.timeLimitMs)));
}

void ScenarioRun::finish(const QString &why)
{
    if (m_finished)
        return;
    m_finished = true;
    m_ticker.stop();
    const qint64 endedMs = nowMs();
    std::optional<SkyPointing> pointing;
    if (m_emulator) {
        const QJsonValue sky = ControlHandler::pointing(m_emulator->session());
        if (sky.isObject()) {
            const QJsonObject ofDate = sky.toObject().value(QStringLiteral("of_date")).toObject();
            pointing = SkyPointing {ofDate.value(QStringLiteral("ra_hours")).toDouble(),
                                    ofDate.value(QStringLiteral("dec_degrees")).toDouble()};
        }
    }
    m_judge.finish(endedMs, pointing, why);
    if (m_clientProcess.state() != QProcess::NotRunning) {
        m_clientProcess.disconnect(this);
        m_clientProcess.terminate();
        if (!m_clientProcess.waitForFinished(clientEndMs)) {
            m_clientProcess.kill();
            m_clientProcess.waitForFinished(clientEndMs);
        }
    }
    if (m_emulator)
        m_emulator->stop();

    const ScenarioReport report {m_scenario, m_judge, m_checks, endedMs, why, m_startedAt};
    bool written = true;
    if (!m_output.junitPath.isEmpty())
        written = writeFile(m_output.junitPath, report.junitXml()) && written;
    if (!m_output.jsonPath.isEmpty())
        written = writeFile(m_output.jsonPath,
                            QJsonDocument(report.json()).toJson(QJsonDocument::Indented))
                && written;
    std::fputs(qPrintable(report.summary()), stdout);
    std::fflush(stdout);
    // Deferred: the client's own signal may be what ended the run.
    const int code = report.passed() && written ? Passed : Failed;
    QMetaObject::invokeMethod(
            this, [this, code] { emit finished(code); }, Qt::QueuedConnection);
}

} // namespace tqx
