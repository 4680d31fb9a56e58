#include "session/PublishedLink.h"

#include "session/EmergencyExit.h"
#include "session/ProgramInstance.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace tqx {

PublishedLink::~PublishedLink() { release(); }

QString PublishedLink::pathFor(int number)
{
    return ProgramInstance::runtimePath(number <= 1 ? QStringLiteral(".pty")
                                                    : QStringLiteral("-%1.pty").arg(number));
}

bool PublishedLink::publish(const QString &target, QString *errorText)
{
    release();
    const QString first = pathFor(1);
    if (!QDir().mkpath(QFileInfo(first).absolutePath())) {
        if (errorText)
            *errorText = QStringLiteral("Cannot create the folder %1.")
                                 .arg(QFileInfo(first).absolutePath());
        return false;
    }
    // A named instance is one copy: a second one under the same name is refused rather than
    // numbered, since its numbered name could be another instance's own.
    const bool named = !ProgramInstance::name().isEmpty();
    for (int number = 1; number <= (named ? 1 : maxNames); ++number) {
        const QString link = pathFor(number);
        if (!claim(link))
            continue;
        // A link still here was left by a copy that ended without tidying up.
        QFile::remove(link);
        if (!QFile::link(target, link)) {
            if (errorText)
                *errorText = QStringLiteral("Cannot make the link %1.").arg(link);
            release();
            return false;
        }
        m_path = link;
        m_target = target;
        EmergencyExit::removeOnExit(QFile::encodeName(m_path).toStdString());
        return true;
    }
    if (errorText)
        *errorText = named ? QStringLiteral("The instance %1 is running already: its link %2 is "
                                            "held by another copy.")
                                     .arg(ProgramInstance::name(), first)
                           : QStringLiteral("All %1 link names are in use by running copies of "
                                            "the program.")
                                     .arg(maxNames);
    return false;
}

// Takes the lock on the name's lock file. The file is removed by whoever gives the name up, so
// the lock only counts if the file we locked is still the one at that path.
bool PublishedLink::claim(const QString &link)
{
#ifdef Q_OS_UNIX
    const QString lockPath = link + QStringLiteral(".lock");
    const QByteArray lockName = QFile::encodeName(lockPath);
    for (;;) {
        const int fd = ::open(lockName.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd < 0)
            return false;
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            ::close(fd);
            return false;
        }
        struct stat locked
        {
        };
        struct stat current
        {
        };
        if (::fstat(fd, &locked) == 0 && ::stat(lockName.constData(), &current) == 0
            && locked.st_dev == current.st_dev && locked.st_ino == current.st_ino) {
            m_lock = fd;
            m_lockPath = lockPath;
            EmergencyExit::removeOnExit(lockName.toStdString());
            return true;
        }
        ::close(fd); // removed or replaced between our open and our lock: try again
    }
#else
    Q_UNUSED(link);
    return false;
#endif
}

void PublishedLink::release()
{
    if (!m_path.isEmpty()) {
        EmergencyExit::forget(QFile::encodeName(m_path).toStdString());
        if (QFileInfo(m_path).symLinkTarget() == QFileInfo(m_target).absoluteFilePath())
            QFile::remove(m_path);
    }
#ifdef Q_OS_UNIX
    if (m_lock >= 0) {
        const QByteArray lockName = QFile::encodeName(m_lockPath);
        EmergencyExit::forget(lockName.toStdString());
        ::unlink(lockName.constData());
        ::close(m_lock);
    }
#endif
    m_lock = -1;
    m_path.clear();
    m_lockPath.clear();
    m_target.clear();
}

} // namespace tqx
