#include "reference/ProgramFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace tqx {

namespace {
QString &overriddenFolder()
{
    static QString folder;
    return folder;
}
} // namespace

QString programFolder()
{
    const QString &folder = overriddenFolder();
    return folder.isEmpty() ? QCoreApplication::applicationDirPath() : folder;
}

void setProgramFolder(const QString &folder) { overriddenFolder() = folder; }

QString programFilePath(const QString &fileName)
{
    const QDir folder(programFolder());
    const QString beside = QDir::cleanPath(folder.filePath(fileName));
    if (!QFileInfo::exists(beside)) {
        const QString installed = QDir::cleanPath(
                folder.filePath(QLatin1String(installedDataFolder) + QLatin1Char('/') + fileName));
        if (QFileInfo::exists(installed))
            return QDir::toNativeSeparators(installed);
    }
    return QDir::toNativeSeparators(beside);
}

} // namespace tqx
