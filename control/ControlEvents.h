#pragma once

#include "emulation/Bytes.h"
#include "session/Exchange.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

namespace tqx {

class EmulatorSession;

// What happens in the session, as the control channel's event lines: {"event": KIND, ...} for
// every exchange with its meaning, bytes left unanswered, replies a fault changed, clients coming
// and going, and slews starting and ending. Nothing is formatted while nobody listens, and the
// end of a slew is watched for with a timer only then.
class ControlEvents : public QObject
{
    Q_OBJECT

public:
    explicit ControlEvents(EmulatorSession &session, QObject *parent = nullptr);

    // Whether anyone listens; the events stop while nobody does.
    void setActive(bool active);
    bool isActive() const { return m_active; }

    // The event lines and objects, for the server and for tests.
    static QByteArray exchangeLine(const Exchange &exchange);
    static QJsonObject unansweredEvent(const Bytes &bytes, const QString &reason,
                                       const DecodeContext &context);
    static QJsonObject faultEvent(const Exchange &exchange);
    static QJsonObject clientEvent(const QString &change, const QString &client);
    // {"event": "lost", "count": N}: what a client that read too slowly missed.
    static QJsonObject lostEvent(quint64 count);

signals:
    // One event line, without its newline.
    void eventReady(const QString &kind, const QByteArray &line);

private:
    void emitEvent(const QJsonObject &object);
    void checkSlew();

    EmulatorSession &m_session;
    bool m_active = false;
    bool m_slewing = false;
    // Wakes when the slew under way should have ended.
    QTimer m_slewTimer;
};

} // namespace tqx
