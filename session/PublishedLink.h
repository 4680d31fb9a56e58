#pragma once

#include <QString>

namespace tqx {

// The stable name under which a virtual port is published: a symbolic link to its device in the
// user's runtime folder. Each running copy of the program holds its name with a lock on a file
// beside the link, so that a second copy publishes a numbered name of its own
// ("tqx-orbivo-emulator-2.pty") instead of taking the first one's over, each copy removes only
// its own link, and a link left behind by a copy that was killed is taken over by the next. A
// copy under an instance name (see ProgramInstance) has that one name only.
class PublishedLink
{
public:
    static constexpr int maxNames = 99;

    PublishedLink() = default;
    ~PublishedLink();
    PublishedLink(const PublishedLink &) = delete;
    PublishedLink &operator=(const PublishedLink &) = delete;

    // The link's path for the given number: 1 is the name a client is configured with once.
    static QString pathFor(int number);

    // Claims the first name no running copy holds and points it at `target`. Returns false with
    // a description when no link could be made.
    bool publish(const QString &target, QString *errorText);
    // Removes the link (if it still points at our target) and gives the name up.
    void release();

    QString path() const { return m_path; }

private:
    bool claim(const QString &link);

    QString m_path;
    QString m_lockPath;
    QString m_target;
    int m_lock = -1;
};

} // namespace tqx
