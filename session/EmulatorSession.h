#pragma once

#include "emulation/CommandInterpreter.h"
#include "emulation/ConsoleDisplay.h"
#include "emulation/MountClock.h"
#include "emulation/SerialControl.h"
#include "session/Exchange.h"
#include "session/ExchangeJournal.h"
#include "session/FaultRule.h"
#include "session/LinePacer.h"
#include "session/LineTiming.h"
#include "session/PortChoice.h"
#include "session/ReplyChain.h"
#include "session/TcpTransport.h"
#include "session/Transport.h"

#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QTimer>

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace tqx {

class FaultStage;

// One run of the emulator: a transport (the serial port, a virtual port or a network listener),
// the interpreter with its mount state, and the journal of every exchange. It answers on its own
// and reports what happens as signals, so that the console window and headless mode are two
// views of the same thing. Qt Core and its serial port and network modules only.
class EmulatorSession : public QObject, private SerialControl, private ConsoleDisplay
{
    Q_OBJECT

public:
    using PortNameMapper = PortChoice::PortNameMapper;

    explicit EmulatorSession(QObject *parent = nullptr);
    ~EmulatorSession() override;

    // The way in to open next: the port a choice names, or a transport of the caller's
    // (the session takes it over).
    void setPort(const PortChoice &port);
    void setTcpPort(const QHostAddress &address, quint16 port)
    {
        setPort(PortChoice::tcp(address, port));
    }
    // How long a network client must have been silent for a new one to take over; 0 never.
    void setTcpTakeoverAfter(std::int64_t ms) { m_tcpTakeoverAfterMs = ms; }
    // A listening socket a network port takes instead of binding its address; -1 for none.
    void setTcpListeningSocket(int fd) { m_tcpListeningSocket = fd; }
    void setTransport(Transport *transport);
    // Maps the numbered ports to system port names; tests map them to pseudo-terminals.
    void setPortNameMapper(PortNameMapper mapper);

    // The port set last; none while the transport is the caller's.
    const std::optional<PortChoice> &port() const { return m_port; }
    // The serial port's system name, or while open the device or address clients use.
    QString portName() const;
    // While open: the transport's own description of where clients connect.
    QString description() const;
    // While a virtual port is open: the device client software opens, and its stable link.
    QString clientDevice() const;
    QString publishedLink() const;
    Transport *transport() const { return m_transport.get(); }

    bool open(QString *errorText);
    // Closes the transport (removing a virtual port's link); false with a description when
    // closing reported an error.
    bool close(QString *errorText);
    bool isOpen() const { return m_transport && m_transport->isOpen(); }

    // The reply to the V command in the basic profile.
    void setVersionReply(const Bytes &reply) { m_versionReply = reply; }
    const Bytes &versionReply() const { return m_versionReply; }

    // The command set, from the next command on, and the full profile's hand control. The
    // settings are refused (false, nothing changed) when their version text is not a version.
    void setProfile(Profile profile) { m_interpreter->setProfile(profile); }
    Profile profile() const { return m_interpreter->profile(); }
    bool setHandControlSettings(const HandControlSettings &settings);
    // A buffer blocked this long is reset and the reset logged; 0 never.
    void setAutoResetAfter(std::int64_t ms) { m_interpreter->setAutoResetAfter(ms); }

    // Runs `change` once the session has answered what arrived, before anything more is read:
    // at once when it is not answering. A change made while the interpreter answers (from a
    // handler of `exchanged`) must not pull the command from under it: a drop, a restart.
    void afterAnswering(std::function<void()> change);

    // Drops the client's connection as a pulled cable would, with the replies still on their
    // way to it: false when there is none to drop (no client, or a serial port, which has no
    // connection of its own).
    bool dropClient();

    // Reset and Clear (see CommandInterpreter).
    void resetBuffer();
    void clearLogs();

    CommandInterpreter &interpreter() { return *m_interpreter; }
    const CommandInterpreter &interpreter() const { return *m_interpreter; }
    // The mount's time: its motors, tracking, sidereal time and clock. The line's timing (quiet
    // gaps, pacing, held replies) keeps the computer's.
    MountClock &mountClock() { return m_mountClock; }
    const MountClock &mountClock() const { return m_mountClock; }
    // The journal of exchanges that Save Log As writes; none is kept after setJournalKept(false)
    // (headless mode, which has no use for one).
    ExchangeJournal *journal() { return m_journal.get(); }
    void setJournalKept(bool kept);

    // The stages every reply goes through on its way to the client; empty unless a caller adds
    // some.
    ReplyChain &replyChain() { return m_replyChain; }

    // How fast replies go out (fast by default), from the next reply on; and, with real timing,
    // how long a `P` frame waits for the hand control's bus before its reply starts. Replies on
    // their way when it changes keep their pace, and later ones queue behind them.
    void setLineTiming(LineTiming timing) { m_lineTiming = timing; }
    LineTiming lineTiming() const { return m_lineTiming; }
    void setBusDelay(std::chrono::milliseconds delay) { m_busDelay = delay; }
    std::chrono::milliseconds busDelay() const { return m_busDelay; }
    // Replies at the line's pace, for tests that drive its clock.
    LinePacer &pacer() { return m_pacer; }
    // How far the paced line may fall behind a client that writes faster than it carries: about
    // a minute at 9600 bit/s. Replies beyond it are not sent, and their records say so.
    static constexpr qsizetype maxPacedBytes = 64 * 1024;
    // The faults every reply meets from now on (see FaultRule), their random choices drawn from
    // `seed`; none takes them away. The other stages stay as they are.
    void setFaults(std::vector<FaultRule> rules, std::uint64_t seed);
    // The faults in force, or null.
    const FaultStage *faults() const { return m_faults; }

    // Monotonic milliseconds, for when held-back replies go out and how long faults last
    // (std::chrono::steady_clock by default; tests step their own).
    void setClock(std::function<qint64()> steadyMs);
    // Whether each exchange records how much of the earlier replies the client had left unread
    // (Exchange::clientUnreadBytes): off by default, since asking the system costs a look at
    // every connection of the machine.
    void setWatchingClientReads(bool watching) { m_watchingClientReads = watching; }
    // Sends the held-back replies whose time has come; the session's timer calls it.
    void sendHeldReplies();
    qsizetype heldPieces() const { return qsizetype(m_held.size()); }

signals:
    // Each answered command once its reply has gone out (or could not: `sent` says), as the
    // client got it: the reply the stages made, with their note.
    void exchanged(const tqx::Exchange &exchange);

    // What the interpreter shows of its logs and counts, call for call, in order.
    void commandSelected(quint64 index);
    void commandCountChanged(const QString &text);
    void commandLogCleared();
    void replySelected(quint64 index);
    void replyCountChanged(const QString &text);
    void replyLogCleared();
    void bufferChanged(const tqx::Bytes &buffer, quint64 droppedBytes);
    // Bytes discarded without a reply (an unknown command, a buffer reset after it stayed
    // blocked), and why.
    void unanswered(const tqx::Bytes &bytes, const QString &reason);

    void clientConnected(const QString &client);
    // The client left; the buffer has been emptied for the next one.
    void clientLeft();
    void clientRefused(const QString &client);
    // What the transport says of its client beyond its coming and going.
    void clientNotice(const QString &text);
    // The open transport failed and has been closed.
    void portFailed(const QString &errorText);

private:
    void adopt(std::unique_ptr<Transport> transport);
    void onReadyRead();
    void onClientLeft();
    void onTransportFailed(const QString &errorText);
    bool deliver(const QByteArray &bytes, std::chrono::milliseconds busDelay);
    bool writeToTransport(const QByteArray &bytes);
    void hold(const Bytes &reply, const ReplyPlan &plan);
    void carryOut(const ReplyPlan &plan);
    bool isSilent() const;

    // SerialControl, over the transport.
    int CommEvent() const override { return m_event; }
    Bytes Input() override;
    void Output(const Bytes &bytes) override;

    // ConsoleDisplay, as signals.
    void InputListAddItem(const Bytes &line) override;
    void InputListSelect(std::uint64_t index) override { emit commandSelected(index); }
    void SetInputLabel(const std::string &text) override;
    void InputListClear() override;
    void RespListAddItem(const Bytes &line) override;
    void RespListSelect(std::uint64_t index) override { emit replySelected(index); }
    void SetRespLabel(const std::string &text) override;
    void RespListClear() override { emit replyLogCleared(); }
    void SetCommandText(const Bytes &buffer, std::uint64_t droppedBytes) override;
    Bytes ReadVerText() const override { return m_versionReply; }
    void LogUnanswered(const Bytes &bytes, const std::string &reason) override;

    std::optional<PortChoice> m_port = PortChoice();
    std::int64_t m_tcpTakeoverAfterMs = TcpTransport::defaultTakeoverAfterMs;
    int m_tcpListeningSocket = -1;
    PortNameMapper m_portNameMapper;
    std::unique_ptr<Transport> m_transport;
    MountClock m_mountClock;
    std::unique_ptr<CommandInterpreter> m_interpreter;
    std::unique_ptr<ExchangeJournal> m_journal = std::make_unique<ExchangeJournal>();
    Bytes m_versionReply = "22";
    ReplyChain m_replyChain;
    LineTiming m_lineTiming = LineTiming::Fast;
    std::chrono::milliseconds m_busDelay {BusDelay::defaultMs};
    LinePacer m_pacer;
    // The exchange being answered, filled in as the interpreter goes and reused for the next.
    Exchange m_exchange;
    // What the exchanges answered in this arrival of bytes have in common.
    int m_answeredInEvent = 0;
    bool m_replyOnItsWay = false;
    std::optional<long long> m_unreadAtEvent;
    bool m_watchingClientReads = false;
    int m_event = 0;
    // Ends quiet gaps and blocked buffers while the transport is open.
    QTimer m_pollTimer;

    FaultStage *m_faults = nullptr; // owned by the chain
    std::function<qint64()> m_steadyMs;
    // What the stages planned for the line beyond the reply, carried out once the interpreter
    // has finished with what arrived, and then the changes that waited for it.
    ReplyPlan m_linePlan;
    std::vector<std::function<void()>> m_afterAnswering;
    qint64 m_silentUntilMs = 0;
    QString m_silenceReason; // why commands are dropped until then
    // Replies, or their pieces, that a stage holds back, in the order they go out.
    struct HeldPiece
    {
        qint64 dueMs;
        QByteArray bytes;
    };
    std::deque<HeldPiece> m_held;
    QTimer m_heldTimer;
};

} // namespace tqx
