#pragma once

#include "settings/EmulatorSettings.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QJsonObject>
#include <QJsonValue>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>

namespace tqx {

class EmulatorSession;

// What one control client has asked to be told of.
struct ControlSubscription
{
    bool active = false;
    QSet<QString> kinds; // empty while active: every kind

    bool wants(const QString &kind) const
    {
        return active && (kinds.isEmpty() || kinds.contains(kind));
    }
};

// The control channel's requests: one JSON object in, one JSON object out, with nothing of the
// socket in between, so that every request can be tried on its own. A request is
// {"request": NAME, ...} with an optional "id" that the response echoes; a response is
// {"ok": true, ...} or {"ok": false, "error": "..."} naming what was wrong. A refused request
// changes nothing, and nothing here writes to the serial line.
class ControlHandler : public QObject
{
    Q_OBJECT

public:
    explicit ControlHandler(EmulatorSession &session, QObject *parent = nullptr);

    // `subscription` is the asking client's, which subscribe and unsubscribe change.
    QJsonObject handle(const QJsonObject &request, ControlSubscription &subscription);
    // One line as it came (without its newline): JSON that is no object, or no JSON at all, is
    // answered with an error too.
    QByteArray handleLine(QByteArrayView line, ControlSubscription &subscription);

    // {"ok": false, "error": TEXT}, with the id when there is one.
    static QJsonObject error(const QString &text,
                             const QJsonValue &id = QJsonValue(QJsonValue::Undefined));
    static QByteArray toLine(const QJsonObject &object);

    // The event kinds a client may subscribe to (see ControlEvents).
    static const QStringList &eventKinds();
    // The settings keys that `set` takes and `state` reports: the mount's and the line's, not the
    // port's or the window's.
    static const QStringList &settingKeys();

    // What `state` answers, less "ok" and "id".
    QJsonObject state() const;
    // Parts of it that events tell as well: where the full profile's mount points (null in the
    // basic profile), and how it moves.
    static QJsonValue pointing(const EmulatorSession &session);
    static QJsonObject motion(const EmulatorSession &session);
    // The session's settings as the schema reads and writes them.
    EmulatorSettings currentSettings() const;

signals:
    // The faults in force changed through the channel (their rule texts).
    void faultsChanged(const QStringList &rules);
    // The profile or settings changed through the channel, for the window to show.
    void settingsChanged();
    // A subscription began or ended, or changed its kinds.
    void subscriptionChanged();

private:
    QJsonObject set(const QJsonObject &request);
    QJsonObject step(const QJsonObject &request);
    QJsonObject fault(const QJsonObject &request);
    QJsonObject reset();
    QJsonObject subscribe(const QJsonObject &request, ControlSubscription &subscription);
    QStringList faultTexts() const;
    void applySettings(const EmulatorSettings &values);

    EmulatorSession &m_session;
    quint64 m_unanswered = 0;
    bool m_clientConnected = false;
    QString m_client;
};

} // namespace tqx
