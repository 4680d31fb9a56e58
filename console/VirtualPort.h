#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class QSocketNotifier;

namespace tqx {

// A pseudo-terminal pair made on demand, for computers without serial hardware: the emulator
// reads and writes one end, and client software opens the other end (a /dev/pts device) as its
// serial port. While open, the client's end is also published as a symbolic link with a stable
// name in the user's runtime folder, so that a client can be configured once.
class VirtualPort : public QObject
{
    Q_OBJECT

public:
    explicit VirtualPort(QObject *parent = nullptr);
    ~VirtualPort() override;

    // Where the link is published: the user's runtime folder.
    static QString linkPath();
    // Whether this platform can make pseudo-terminals.
    static bool isSupported();

    bool open(QString *errorText);
    void close();
    bool isOpen() const { return m_emulatorEnd >= 0; }

    // The device client software opens, e.g. "/dev/pts/3".
    QString clientDevice() const { return m_clientDevice; }
    // The stable link to it, or empty if it could not be made.
    QString publishedLink() const { return m_publishedLink; }

    QByteArray readAll();
    bool write(const QByteArray &bytes, QString *errorText);

signals:
    void readyRead();
    void failed(const QString &errorText);

private:
    void onReadable();
    void publishLink();
    void removeLink();

    int m_emulatorEnd = -1;
    int m_clientEnd = -1; // kept open so that a client may close and reopen its end
    QString m_clientDevice;
    QString m_publishedLink;
    QSocketNotifier *m_notifier = nullptr;
    QByteArray m_pending;
};

} // namespace tqx
