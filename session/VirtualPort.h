#pragma once

#include "session/LineFormat.h"
#include "session/PublishedLink.h"
#include "session/ReplyQueue.h"
#include "session/Transport.h"

#include <QTimer>

class QSocketNotifier;

namespace tqx {

// A pseudo-terminal pair made on demand, for computers without serial hardware: the emulator
// reads and writes one end, and client software opens the other end (a /dev/pts device) as its
// serial port. While open, the client's end is also published under a stable name (see
// PublishedLink), so that a client can be configured once.
//
// The emulator does not hold the client's end open itself, so it sees each client come and go:
// when one closes the device, whatever it left unread is thrown away and the next client starts
// with nothing queued for it. Replies are written whole and in order: what the device cannot take
// at once waits here until the client reads, and while too much waits the port stops taking the
// client's commands, as a stalled line would (see ReplyQueue).
//
// The device carries the line settings the client gives it. When they are not the hand control's
// 9600 8N1 the bytes both ways are garbled as a real line with mismatched ends garbles them (see
// carriedByte), and the port says so once each time they change. Linux keeps only the rate and
// the stop bits on a pseudo-terminal (it holds it at eight data bits without parity), so there
// only a wrong rate garbles.
class VirtualPort : public Transport
{
    Q_OBJECT

public:
    explicit VirtualPort(QObject *parent = nullptr);
    ~VirtualPort() override;

    // Where the first copy of the program publishes its link: the user's runtime folder.
    static QString linkPath();
    // Whether this platform can make pseudo-terminals.
    static bool isSupported();

    bool open(QString *errorText) override;
    bool close(QString *errorText = nullptr) override;
    bool isOpen() const override { return m_emulatorEnd >= 0; }
    bool hasClient() const { return m_hasClient; }
    // Replies waiting for the client to read them, and whether its commands are held back
    // meanwhile.
    qsizetype pendingReplyBytes() const { return m_replies.size(); }
    bool isReadingPaused() const { return m_replies.readingPaused(); }

    // The device client software opens, e.g. "/dev/pts/3".
    QString clientDevice() const { return m_clientDevice; }
    // The stable link to it, or empty if it could not be made.
    QString publishedLink() const { return m_link.path(); }

    QByteArray readAll() override;
    bool write(const QByteArray &bytes, QString *errorText) override;
    QString description() const override { return m_clientDevice; }
    // The line settings the client gave its end, as last looked at.
    LineFormat clientFormat() const { return m_clientFormat; }
    // Hangs up on the client, as soon as the event loop runs: this end closes, so that the
    // client reads a hang-up (EIO), and a new device is made and published under the same link
    // for it to open again.
    bool dropClient() override;

private:
    void onReadable();
    void onWritable();
    void checkForClient();
    void checkForHangUp();
    void updateReading();
    void waitForClient();
    void clientArrived();
    void discardClientInput();
    bool writePending(QString *errorText);
    // Looks at the client's line settings, and says so when they changed.
    void checkClientFormat();

    int m_emulatorEnd = -1;
    QString m_clientDevice;
    PublishedLink m_link;
    QSocketNotifier *m_readNotifier = nullptr;
    QSocketNotifier *m_writeNotifier = nullptr;
    // With no client the device reports a hang-up continuously, so instead of being notified the
    // port looks for a client now and then.
    QTimer m_clientPoll;
    bool m_hasClient = false;
    QByteArray m_pending; // received, not yet read
    LineFormat m_clientFormat = LineFormat::handControl();
    ReplyQueue m_replies; // replies the device could not take yet
    // While the client's commands are held back the port is not told of a hang-up either, so it
    // looks for one now and then.
    QTimer m_stallWatch;
};

} // namespace tqx
