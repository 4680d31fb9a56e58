#include "console/ConsoleSettings.h"

#include "settings/SettingsStore.h"

#include <QFileInfo>
#include <QSettings>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace tqx {

namespace {

// Which version of a file is on disk: a write that went through, by replacing the file or
// rewriting it in place, gives another stamp.
struct FileStamp
{
    bool exists = false;
    long long inode = 0;
    long long size = 0;
    long long modifiedNs = 0;
    long long changedNs = 0;

    static FileStamp of(const QString &path)
    {
        FileStamp stamp;
#ifdef Q_OS_UNIX
        struct stat status
        {
        };
        if (::stat(QFile::encodeName(path).constData(), &status) != 0)
            return stamp;
        stamp.exists = true;
        stamp.inode = static_cast<long long>(status.st_ino);
        stamp.size = static_cast<long long>(status.st_size);
        stamp.modifiedNs = status.st_mtim.tv_sec * 1'000'000'000LL + status.st_mtim.tv_nsec;
        stamp.changedNs = status.st_ctim.tv_sec * 1'000'000'000LL + status.st_ctim.tv_nsec;
#else
        const QFileInfo info(path);
        stamp.exists = info.exists();
        stamp.size = info.size();
        stamp.modifiedNs = info.lastModified().toMSecsSinceEpoch() * 1'000'000LL;
        stamp.changedNs = info.metadataChangeTime().toMSecsSinceEpoch() * 1'000'000LL;
#endif
        return stamp;
    }

    bool operator==(const FileStamp &) const = default;
};

std::unique_ptr<QSettings> openStore()
{
#ifdef Q_OS_WIN
    auto store = std::make_unique<QSettings>(
            QStringLiteral(
                    "HKEY_CURRENT_USER\\Software\\VB and VBA Program Settings\\TQX_Emulator"),
            QSettings::NativeFormat);
#else
    auto store = std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                             QStringLiteral("TQX_Emulator"),
                                             QStringLiteral("TQX_Emulator"));
#endif
    store->beginGroup(QStringLiteral("Defaults"));
    return store;
}

} // namespace

ConsoleSettings::ConsoleSettings()
    : m_store(openStore())
{
}

ConsoleSettings::~ConsoleSettings() = default;

ConsoleSettingsValues ConsoleSettings::load() const
{
    ConsoleSettingsValues values;
    loadSettings(*m_store, values);
    return values;
}

bool ConsoleSettings::save(const ConsoleSettingsValues &values, QString *errorText)
{
    saveSettings(*m_store, values);
    const FileStamp before = FileStamp::of(location());
    m_store->sync();
    // The store keeps the first error it met: a line it could not read when it loaded the file
    // is one, though the file it writes now is whole. Only a file left as it was is a failure.
    const QSettings::Status status = m_store->status();
    if (status == QSettings::NoError
        || (status == QSettings::FormatError && !(FileStamp::of(location()) == before)))
        return true;
    if (errorText)
        *errorText = QStringLiteral("The settings could not be saved to %1: the file or its folder "
                                    "cannot be written. The port, the 'V' command response and "
                                    "the window position will not be remembered.")
                             .arg(location());
    return false;
}

QString ConsoleSettings::location() const { return m_store->fileName(); }

} // namespace tqx
