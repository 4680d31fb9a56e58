#include "reference/ProgramFolder.h"

#include <QCoreApplication>
#include <QDir>

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
    return QDir::toNativeSeparators(QDir(programFolder()).filePath(fileName));
}

} // namespace tqx
