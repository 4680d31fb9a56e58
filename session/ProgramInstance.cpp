#include "session/ProgramInstance.h"

#include <QDir>
#include <QStandardPaths>

#include <optional>

namespace tqx {

namespace {

QString &storedName()
{
    static QString name;
    return name;
}

bool isNameCharacter(QChar c)
{
    return (c >= QLatin1Char('a') && c <= QLatin1Char('z'))
            || (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
            || (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('-')
            || c == QLatin1Char('_') || c == QLatin1Char('.');
}

} // namespace

std::optional<QString> ProgramInstance::nameProblem(const QString &name)
{
    if (name.isEmpty())
        return QStringLiteral("an instance name cannot be empty");
    if (name.size() > maxNameLength)
        return QStringLiteral("an instance name has at most %1 characters").arg(maxNameLength);
    if (name.startsWith(QLatin1Char('.')) || name.startsWith(QLatin1Char('-')))
        return QStringLiteral("an instance name cannot start with \"%1\"").arg(name.front());
    for (const QChar c : name) {
        if (!isNameCharacter(c))
            return QStringLiteral("an instance name has only letters, digits, \"-\", \"_\" and "
                                  "\".\", not \"%1\"")
                    .arg(c);
    }
    return std::nullopt;
}

void ProgramInstance::setName(const QString &name) { storedName() = name; }

QString ProgramInstance::name() { return storedName(); }

QString ProgramInstance::fileStem()
{
    const QString plain = QStringLiteral("tqx-orbivo-emulator");
    return storedName().isEmpty() ? plain : plain + QLatin1Char('@') + storedName();
}

QString ProgramInstance::runtimeFolder()
{
    // While $XDG_RUNTIME_DIR is unset (root in a container, a CI job) Qt falls back to a folder
    // of its own and warns each time it is asked; asked once for each value, it warns once.
    static std::optional<QByteArray> askedFor;
    static QString folder;
    const QByteArray variable = qgetenv("XDG_RUNTIME_DIR");
    if (askedFor != variable) {
        folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
        askedFor = variable;
    }
    return folder;
}

QString ProgramInstance::runtimePath(const QString &suffix)
{
    return QDir(runtimeFolder()).filePath(fileStem() + suffix);
}

} // namespace tqx
