#include "control/ControlEvents.h"

#include "control/ControlHandler.h"
#include "emulation/ExchangeDecoder.h"
#include "emulation/HandControl.h"
#include "session/DisplayText.h"
#include "session/EmulatorSession.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QTimeZone>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <string_view>

namespace tqx {

namespace {

// The longest the slew timer sleeps between looks, so that a clock made faster or resumed
// mid-slew is noticed soon.
constexpr qint64 longestSlewLookMs = 500;

QString timeText(qint64 msecsSinceEpoch)
{
    return QDateTime::fromMSecsSinceEpoch(msecsSinceEpoch, Qt::UTC).toString(Qt::ISODateWithMs);
}

// The exchange event is made for every command while someone listens, so its line is written
// directly: a JSON object and its document cost several times the answer itself.
void appendJsonString(QByteArray &line, std::string_view utf8)
{
    line += '"';
    for (const char c : utf8) {
        switch (c) {
        case '"':
            line += "\\\"";
            break;
        case '\\':
            line += "\\\\";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", unsigned(c));
                line += escaped;
            } else {
                line += c;
            }
        }
    }
    line += '"';
}

// "2026-12-09T21:30:00.000Z", as QDateTime writes it, in a tenth of its time.
void appendTime(QByteArray &line, qint64 msecsSinceEpoch)
{
    using namespace std::chrono;
    const sys_time<milliseconds> time {milliseconds(msecsSinceEpoch)};
    const auto day = floor<days>(time);
    const year_month_day date {day};
    const hh_mm_ss<milliseconds> clock {time - day};
    char text[40];
    std::snprintf(text, sizeof text, "\"%04d-%02u-%02uT%02d:%02d:%02d.%03dZ\"", int(date.year()),
                  unsigned(date.month()), unsigned(date.day()), int(clock.hours().count()),
                  int(clock.minutes().count()), int(clock.seconds().count()),
                  int(clock.subseconds().count()));
    line += text;
}

} // namespace

ControlEvents::ControlEvents(EmulatorSession &session, QObject *parent)
    : QObject(parent)
    , m_session(session)
{
    m_slewTimer.setSingleShot(true);
    m_slewTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_slewTimer, &QTimer::timeout, this, &ControlEvents::checkSlew);
    connect(&session, &EmulatorSession::exchanged, this, [this](const Exchange &exchange) {
        if (!m_active)
            return;
        emit eventReady(QStringLiteral("exchange"), exchangeLine(exchange));
        if (!exchange.note.isEmpty())
            emitEvent(faultEvent(exchange));
        checkSlew();
    });
    connect(&session, &EmulatorSession::unanswered, this,
            [this](const Bytes &bytes, const QString &reason) {
                if (m_active)
                    emitEvent(unansweredEvent(bytes, reason,
                                              m_session.interpreter().decodeContext()));
            });
    connect(&session, &EmulatorSession::clientConnected, this, [this](const QString &client) {
        if (m_active)
            emitEvent(clientEvent(QStringLiteral("connected"), client));
    });
    connect(&session, &EmulatorSession::clientLeft, this, [this] {
        if (m_active)
            emitEvent(clientEvent(QStringLiteral("left"), {}));
    });
    connect(&session, &EmulatorSession::clientRefused, this, [this](const QString &client) {
        if (m_active)
            emitEvent(clientEvent(QStringLiteral("refused"), client));
    });
}

void ControlEvents::setActive(bool active)
{
    if (active == m_active)
        return;
    m_active = active;
    if (active) {
        // A slew already under way is told as it ends, not as it starts.
        m_slewing = m_session.profile() == Profile::Full
                && m_session.interpreter().handControl().mount().gotoInProgress();
        if (m_slewing)
            checkSlew();
    } else {
        m_slewTimer.stop();
        m_slewing = false;
    }
}

QByteArray ControlEvents::exchangeLine(const Exchange &exchange)
{
    QByteArray line;
    line.reserve(256);
    line += R"({"event":"exchange","time":)";
    appendTime(line, exchange.msecsSinceEpoch);
    std::string text;
    appendDisplayText(text, exchange.command);
    line += R"(,"command":)";
    appendJsonString(line, text);
    text.clear();
    appendDisplayText(text, exchange.reply);
    line += R"(,"reply":)";
    appendJsonString(line, text);
    line += R"(,"meaning":)";
    appendJsonString(line,
                     ExchangeDecoder(exchange.context).exchange(exchange.command, exchange.reply));
    line += exchange.sent ? R"(,"sent":true)" : R"(,"sent":false)";
    if (!exchange.note.isEmpty()) {
        line += R"(,"note":)";
        appendJsonString(line, exchange.note.toStdString());
    }
    line += '}';
    return line;
}

QJsonObject ControlEvents::unansweredEvent(const Bytes &bytes, const QString &reason,
                                           const DecodeContext &context)
{
    return {{QStringLiteral("event"), QStringLiteral("unanswered")},
            {QStringLiteral("time"), timeText(QDateTime::currentMSecsSinceEpoch())},
            {QStringLiteral("bytes"), displayText(bytes)},
            {QStringLiteral("reason"), reason},
            {QStringLiteral("meaning"),
             QString::fromStdString(ExchangeDecoder(context).unanswered(bytes))}};
}

QJsonObject ControlEvents::faultEvent(const Exchange &exchange)
{
    return {{QStringLiteral("event"), QStringLiteral("fault")},
            {QStringLiteral("time"), timeText(exchange.msecsSinceEpoch)},
            {QStringLiteral("command"), displayText(exchange.command)},
            {QStringLiteral("reply"), displayText(exchange.reply)},
            {QStringLiteral("note"), exchange.note}};
}

QJsonObject ControlEvents::clientEvent(const QString &change, const QString &client)
{
    QJsonObject event {{QStringLiteral("event"), QStringLiteral("client")},
                       {QStringLiteral("time"), timeText(QDateTime::currentMSecsSinceEpoch())},
                       {QStringLiteral("change"), change}};
    if (!client.isEmpty())
        event.insert(QStringLiteral("client"), client);
    return event;
}

QJsonObject ControlEvents::lostEvent(quint64 count)
{
    return {{QStringLiteral("event"), QStringLiteral("lost")},
            {QStringLiteral("count"), qint64(count)}};
}

void ControlEvents::emitEvent(const QJsonObject &object)
{
    emit eventReady(object.value(QStringLiteral("event")).toString(),
                    QJsonDocument(object).toJson(QJsonDocument::Compact));
}

// Called after each exchange and when the timer wakes: a goto is cheap to look for, and its
// progress is read only as it starts and while the timer runs.
void ControlEvents::checkSlew()
{
    if (!m_active)
        return;
    const bool full = m_session.profile() == Profile::Full;
    const bool slewing = full && m_session.interpreter().handControl().mount().gotoInProgress();
    if (slewing == m_slewing && !m_slewTimer.isActive() && !slewing)
        return;
    const qint64 nowMs = QDateTime::currentMSecsSinceEpoch();
    if (slewing && !m_slewing) {
        emitEvent({{QStringLiteral("event"), QStringLiteral("slew")},
                   {QStringLiteral("time"), timeText(nowMs)},
                   {QStringLiteral("change"), QStringLiteral("started")},
                   {QStringLiteral("motion"), ControlHandler::motion(m_session)}});
    } else if (!slewing && m_slewing) {
        m_slewTimer.stop();
        emitEvent({{QStringLiteral("event"), QStringLiteral("slew")},
                   {QStringLiteral("time"), timeText(nowMs)},
                   {QStringLiteral("change"), QStringLiteral("ended")},
                   {QStringLiteral("pointing"), ControlHandler::pointing(m_session)}});
    }
    m_slewing = slewing;
    if (!slewing || m_slewTimer.isActive())
        return;
    // Wake just after the arrival, in the computer's time.
    qint64 waitMs = longestSlewLookMs;
    const MountClock &clock = m_session.mountClock();
    if (const auto progress = m_session.interpreter().handControl().mount().gotoProgress(2);
        progress && !clock.isPaused())
        waitMs = std::clamp<qint64>(qint64(double(progress->remainingMs) / clock.rate()) + 1, 1,
                                    longestSlewLookMs);
    m_slewTimer.start(int(waitMs));
}

} // namespace tqx
