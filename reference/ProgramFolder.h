#pragma once

#include <QString>

namespace tqx {

// The folder the data files are read from: the executable's own folder. Tests point it elsewhere.
QString programFolder();
void setProgramFolder(const QString &folder); // an empty folder restores the executable's

// The full path of a data file in the program folder, with the platform's separators.
QString programFilePath(const QString &fileName);

} // namespace tqx
