#include "VirtualPort.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QStandardPaths>

#include <utility>

#include <cerrno>
#include <cstring>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>
#if defined(Q_OS_MACOS)
#include <util.h>
#else
#include <pty.h>
#endif
#endif

namespace tqx {

VirtualPort::VirtualPort(QObject *parent)
    : QObject(parent)
{
}

VirtualPort::~VirtualPort() { close(); }

QString VirtualPort::linkPath()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation))
            .filePath(QStringLiteral("tqx-orbivo-emulator.pty"));
}

bool VirtualPort::isSupported()
{
#ifdef Q_OS_UNIX
    return true;
#else
    return false;
#endif
}

bool VirtualPort::open(QString *errorText)
{
#ifdef Q_OS_UNIX
    close();
    char name[256] = {};
    if (::openpty(&m_emulatorEnd, &m_clientEnd, name, nullptr, nullptr) != 0) {
        if (errorText)
            *errorText = QStringLiteral("Cannot create a virtual port: %1")
                                 .arg(QString::fromLocal8Bit(std::strerror(errno)));
        m_emulatorEnd = m_clientEnd = -1;
        return false;
    }
    m_clientDevice = QString::fromLocal8Bit(name);
    ::fcntl(m_emulatorEnd, F_SETFL, ::fcntl(m_emulatorEnd, F_GETFL) | O_NONBLOCK);
    ::fcntl(m_emulatorEnd, F_SETFD, FD_CLOEXEC);
    ::fcntl(m_clientEnd, F_SETFD, FD_CLOEXEC);

    // The line a client finds: raw bytes at 9600 bit/s, 8N1, nothing echoed or translated.
    termios settings {};
    ::tcgetattr(m_clientEnd, &settings);
    ::cfmakeraw(&settings);
    ::cfsetispeed(&settings, B9600);
    ::cfsetospeed(&settings, B9600);
    ::tcsetattr(m_clientEnd, TCSANOW, &settings);

    m_notifier = new QSocketNotifier(m_emulatorEnd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &VirtualPort::onReadable);
    publishLink();
    return true;
#else
    if (errorText)
        *errorText = QStringLiteral("Virtual ports are not available on this system.");
    return false;
#endif
}

void VirtualPort::close()
{
#ifdef Q_OS_UNIX
    delete m_notifier;
    m_notifier = nullptr;
    removeLink();
    if (m_emulatorEnd >= 0)
        ::close(m_emulatorEnd);
    if (m_clientEnd >= 0)
        ::close(m_clientEnd);
#endif
    m_emulatorEnd = m_clientEnd = -1;
    m_clientDevice.clear();
    m_pending.clear();
}

QByteArray VirtualPort::readAll() { return std::exchange(m_pending, {}); }

bool VirtualPort::write(const QByteArray &bytes, QString *errorText)
{
#ifdef Q_OS_UNIX
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_emulatorEnd, bytes.constData() + done,
                                  static_cast<size_t>(bytes.size() - done));
        if (n > 0) {
            done += n;
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            // A full pseudo-terminal means nobody reads the other end: the reply is lost, as it
            // would be on a cable with nothing attached.
            if (n < 0 && errno == EAGAIN)
                return true;
            if (errorText)
                *errorText = QString::fromLocal8Bit(std::strerror(errno));
            return false;
        }
    }
    return true;
#else
    Q_UNUSED(bytes);
    Q_UNUSED(errorText);
    return false;
#endif
}

void VirtualPort::onReadable()
{
#ifdef Q_OS_UNIX
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(m_emulatorEnd, buffer, sizeof buffer);
        if (n > 0) {
            m_pending.append(buffer, n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            break;
        const QString errorText = n == 0 ? QStringLiteral("The virtual port was closed.")
                                         : QString::fromLocal8Bit(std::strerror(errno));
        close();
        emit failed(errorText);
        return;
    }
    if (!m_pending.isEmpty())
        emit readyRead();
#endif
}

void VirtualPort::publishLink()
{
    const QString link = linkPath();
    QDir().mkpath(QFileInfo(link).absolutePath());
    QFile::remove(link);
    if (QFile::link(m_clientDevice, link))
        m_publishedLink = link;
}

void VirtualPort::removeLink()
{
    if (m_publishedLink.isEmpty())
        return;
    // Another copy of the program may have taken the name over since; leave its link alone.
    if (QFileInfo(m_publishedLink).symLinkTarget() == m_clientDevice)
        QFile::remove(m_publishedLink);
    m_publishedLink.clear();
}

} // namespace tqx
