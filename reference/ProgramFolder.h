#pragma once

#include <QString>

namespace tqx {

// The executable's own folder. Tests point it elsewhere.
QString programFolder();
void setProgramFolder(const QString &folder); // an empty folder restores the executable's

// Where an installed program keeps its data files, relative to the executable's folder
// (bin/../share/tqx-orbivo-emulator).
inline constexpr char installedDataFolder[] = "../share/tqx-orbivo-emulator";

// The full path of a data file, with the platform's separators. The file is looked for beside
// the executable first (a build folder, a copied folder), then in the installed data folder.
// When it is in neither, the path beside the executable is given, so that a message about the
// missing file names the first place looked.
QString programFilePath(const QString &fileName);

} // namespace tqx
