#include "session/VirtualPort.h"

#include "session/ProgramInstance.h"

#include <QFile>
#include <QSocketNotifier>

#include <cerrno>
#include <cstring>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>
#if defined(Q_OS_MACOS)
#include <util.h>
#else
#include <pty.h>
#endif
#endif

namespace tqx {

namespace {
// How often the port looks for a client while it has none: the first bytes of a new client wait
// at most this long.
constexpr int clientPollMs = 20;
// How often a port that holds back a client's commands looks whether the client has gone.
constexpr int stallWatchMs = 100;
// How much one notification reads at most, so that a client that sends without pause does not
// keep the rest of the program waiting.
constexpr int readChunksPerEvent = 16;

QString systemError(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

#ifdef Q_OS_UNIX
int baudRateOf(speed_t speed)
{
    struct Rate
    {
        speed_t speed;
        int bitsPerSecond;
    };
    static constexpr Rate rates[] = {
            {B50, 50},       {B75, 75},         {B110, 110},       {B134, 134},     {B150, 150},
            {B200, 200},     {B300, 300},       {B600, 600},       {B1200, 1200},   {B1800, 1800},
            {B2400, 2400},   {B4800, 4800},     {B9600, 9600},     {B19200, 19200}, {B38400, 38400},
            {B57600, 57600}, {B115200, 115200}, {B230400, 230400},
    };
    for (const Rate &rate : rates) {
        if (rate.speed == speed)
            return rate.bitsPerSecond;
    }
    return 0;
}

// The settings the client gave its end: this end reports them on Linux and the BSDs alike.
LineFormat formatOf(const termios &settings)
{
    LineFormat format;
    format.baudRate = baudRateOf(::cfgetospeed(&settings));
    switch (settings.c_cflag & CSIZE) {
    case CS5:
        format.dataBits = 5;
        break;
    case CS6:
        format.dataBits = 6;
        break;
    case CS7:
        format.dataBits = 7;
        break;
    default:
        format.dataBits = 8;
    }
    if (settings.c_cflag & PARENB)
        format.parity
                = settings.c_cflag & PARODD ? LineFormat::Parity::Odd : LineFormat::Parity::Even;
    format.stopBits = settings.c_cflag & CSTOPB ? 2 : 1;
    return format;
}
#endif
} // namespace

VirtualPort::VirtualPort(QObject *parent)
    : Transport(parent)
{
    m_clientPoll.setInterval(clientPollMs);
    connect(&m_clientPoll, &QTimer::timeout, this, &VirtualPort::checkForClient);
    m_stallWatch.setInterval(stallWatchMs);
    connect(&m_stallWatch, &QTimer::timeout, this, &VirtualPort::checkForHangUp);
}

VirtualPort::~VirtualPort() { close(); }

QString VirtualPort::linkPath() { return PublishedLink::pathFor(1); }

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
    int clientEnd = -1;
    char name[256] = {};
    if (::openpty(&m_emulatorEnd, &clientEnd, name, nullptr, nullptr) != 0) {
        if (errorText)
            *errorText = QStringLiteral("Cannot create a virtual port: %1").arg(systemError(errno));
        m_emulatorEnd = -1;
        return false;
    }
    m_clientDevice = QString::fromLocal8Bit(name);
    ::fcntl(m_emulatorEnd, F_SETFL, ::fcntl(m_emulatorEnd, F_GETFL) | O_NONBLOCK);
    ::fcntl(m_emulatorEnd, F_SETFD, FD_CLOEXEC);

    // The line a client finds: raw bytes at 9600 bit/s, 8N1, nothing echoed or translated. The
    // settings stay with the device after this end is closed.
    termios settings {};
    ::tcgetattr(clientEnd, &settings);
    ::cfmakeraw(&settings);
    ::cfsetispeed(&settings, B9600);
    ::cfsetospeed(&settings, B9600);
    ::tcsetattr(clientEnd, TCSANOW, &settings);
    ::close(clientEnd);

    m_readNotifier = new QSocketNotifier(m_emulatorEnd, QSocketNotifier::Read, this);
    connect(m_readNotifier, &QSocketNotifier::activated, this, &VirtualPort::onReadable);
    m_writeNotifier = new QSocketNotifier(m_emulatorEnd, QSocketNotifier::Write, this);
    m_writeNotifier->setEnabled(false);
    connect(m_writeNotifier, &QSocketNotifier::activated, this, &VirtualPort::onWritable);

    // Without a link the device's own path still works; but a named instance is found by its
    // link, and without it would answer where nobody looks.
    QString linkError;
    if (!m_link.publish(m_clientDevice, &linkError) && !ProgramInstance::name().isEmpty()) {
        close(nullptr);
        if (errorText)
            *errorText = linkError;
        return false;
    }
    waitForClient();
    return true;
#else
    if (errorText)
        *errorText = QStringLiteral("Virtual ports are not available on this system.");
    return false;
#endif
}

bool VirtualPort::close(QString *)
{
    m_clientPoll.stop();
    m_stallWatch.stop();
    delete m_readNotifier;
    m_readNotifier = nullptr;
    delete m_writeNotifier;
    m_writeNotifier = nullptr;
    m_link.release();
#ifdef Q_OS_UNIX
    if (m_emulatorEnd >= 0)
        ::close(m_emulatorEnd);
#endif
    m_emulatorEnd = -1;
    m_hasClient = false;
    m_clientDevice.clear();
    m_pending.clear();
    m_replies.clear();
    m_clientFormat = LineFormat::handControl();
    return true;
}

bool VirtualPort::dropClient()
{
    if (!isOpen() || !m_hasClient)
        return false;
    // Not while the port may be inside its own notifier's signal, which closing deletes.
    QTimer::singleShot(0, this, [this] {
        if (!isOpen() || !m_hasClient)
            return;
        close();
        QString errorText;
        if (!open(&errorText)) {
            emit failed(errorText);
            return;
        }
        emit clientLeft();
    });
    return true;
}

QByteArray VirtualPort::readAll() { return std::exchange(m_pending, {}); }

bool VirtualPort::write(const QByteArray &bytes, QString *errorText)
{
    if (!isOpen())
        return false;
    checkClientFormat();
    const LineFormat line = LineFormat::handControl();
    m_replies.append(m_clientFormat == line ? bytes : carriedBytes(bytes, line, m_clientFormat));
    return writePending(errorText);
}

// Hands the device as much of the waiting replies as it takes; the rest goes when it has room.
bool VirtualPort::writePending(QString *errorText)
{
#ifdef Q_OS_UNIX
    const int fd = m_emulatorEnd;
    const ReplyQueue::Flushed flushed = m_replies.flush(
            [fd](const char *data, std::size_t size) { return ::write(fd, data, size); });
    if (flushed == ReplyQueue::Flushed::Failed) {
        if (errorText)
            *errorText = systemError(errno);
        return false;
    }
    m_writeNotifier->setEnabled(!m_replies.isEmpty());
    updateReading();
    return true;
#else
    Q_UNUSED(errorText);
    return false;
#endif
}

// Takes the client's commands while its replies drain, and holds them back while too many wait.
void VirtualPort::updateReading()
{
    if (!m_readNotifier || !m_hasClient)
        return;
    const bool paused = m_replies.readingPaused();
    m_readNotifier->setEnabled(!paused);
    if (paused && !m_stallWatch.isActive())
        m_stallWatch.start();
    else if (!paused)
        m_stallWatch.stop();
}

void VirtualPort::onWritable()
{
    QString errorText;
    if (!writePending(&errorText)) {
        close();
        emit failed(errorText);
    }
}

void VirtualPort::onReadable()
{
#ifdef Q_OS_UNIX
    char buffer[ReplyQueue::readChunk];
    bool hungUp = false;
    for (int chunk = 0; chunk < readChunksPerEvent && !m_replies.readingPaused(); ++chunk) {
        const ssize_t n = ::read(m_emulatorEnd, buffer, sizeof buffer);
        if (n > 0) {
            if (!m_hasClient)
                clientArrived();
            checkClientFormat();
            const LineFormat line = LineFormat::handControl();
            const QByteArray received(buffer, n);
            m_pending.append(m_clientFormat == line ? received
                                                    : carriedBytes(received, m_clientFormat, line));
            // Answered chunk by chunk, so that the replies waiting are known before more is read.
            emit readyRead();
            if (!isOpen())
                return;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        if (n == 0 || errno == EIO) {
            // No process has the client's end open any more. What it sent just before it left
            // has been answered, and is thrown away with the rest.
            hungUp = true;
            break;
        }
        const QString errorText = systemError(errno);
        close();
        emit failed(errorText);
        return;
    }
    if (!hungUp) {
        if (!m_hasClient)
            clientArrived();
        updateReading();
        return;
    }
    const bool hadClient = m_hasClient;
    waitForClient();
    if (hadClient)
        emit clientLeft();
#endif
}

void VirtualPort::checkClientFormat()
{
#ifdef Q_OS_UNIX
    termios settings {};
    if (::tcgetattr(m_emulatorEnd, &settings) != 0)
        return;
    const LineFormat format = formatOf(settings);
    if (format == m_clientFormat)
        return;
    m_clientFormat = format;
    const LineFormat line = LineFormat::handControl();
    if (format == line)
        emit clientNotice(QStringLiteral("the client's line is %1 again: bytes pass unchanged")
                                  .arg(line.text()));
    else if (garbles(format, line))
        emit clientNotice(QStringLiteral("the client's line is %1, not %2: bytes are garbled "
                                         "both ways, as on a real line")
                                  .arg(format.text(), line.text()));
    else
        emit clientNotice(QStringLiteral("the client's line is %1, not %2: bytes still pass "
                                         "unchanged")
                                  .arg(format.text(), line.text()));
#endif
}

void VirtualPort::checkForHangUp()
{
#ifdef Q_OS_UNIX
    pollfd state {m_emulatorEnd, POLLIN, 0};
    if (!m_hasClient || ::poll(&state, 1, 0) <= 0 || !(state.revents & POLLHUP))
        return;
    waitForClient();
    emit clientLeft();
#endif
}

void VirtualPort::waitForClient()
{
    if (m_hasClient)
        discardClientInput();
    m_hasClient = false;
    m_replies.clear();
    m_stallWatch.stop();
    m_writeNotifier->setEnabled(false);
    m_readNotifier->setEnabled(false);
    m_clientPoll.start();
}

void VirtualPort::checkForClient()
{
#ifdef Q_OS_UNIX
    pollfd state {m_emulatorEnd, POLLIN, 0};
    if (::poll(&state, 1, 0) < 0)
        return;
    if (state.revents & POLLIN)
        onReadable();
    else if (!(state.revents & POLLHUP))
        clientArrived();
#endif
}

void VirtualPort::clientArrived()
{
    m_clientPoll.stop();
    m_hasClient = true;
    m_readNotifier->setEnabled(true);
    emit clientConnected(QString());
}

// Replies the client left unread sit in the device's input queue, where the next client would
// read them first. Opening the device for a moment lets us empty that queue.
void VirtualPort::discardClientInput()
{
#ifdef Q_OS_UNIX
    ::tcflush(m_emulatorEnd, TCOFLUSH);
    const int device = ::open(QFile::encodeName(m_clientDevice).constData(),
                              O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (device >= 0) {
        ::tcflush(device, TCIFLUSH);
        ::close(device);
    }
#endif
}

} // namespace tqx
