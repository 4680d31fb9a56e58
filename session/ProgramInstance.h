#pragma once

#include <QString>

#include <optional>

namespace tqx {

// The name this running copy of the program goes by, and the names of the files it keeps in the
// user's runtime folder. Copies started under different instance names (--instance NAME) keep
// their published link, its lock, their control socket and their logs apart, so that several run
// side by side without taking each other's names; a copy without one uses the plain names.
class ProgramInstance
{
public:
    static constexpr int maxNameLength = 64;

    // Why `name` cannot be an instance name (it becomes part of file names), or nothing.
    static std::optional<QString> nameProblem(const QString &name);
    // For the rest of the run; an empty name is the plain one. The caller checks the name first.
    static void setName(const QString &name);
    static QString name();

    // "tqx-orbivo-emulator", or "tqx-orbivo-emulator@NAME" under an instance name: the start of
    // every file name below.
    static QString fileStem();
    // The user's runtime folder ($XDG_RUNTIME_DIR), where the files below are made.
    static QString runtimeFolder();
    // The path of `suffix` appended to the stem in the runtime folder (".pty", ".control").
    static QString runtimePath(const QString &suffix);
};

} // namespace tqx
