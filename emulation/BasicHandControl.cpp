#include "emulation/BasicHandControl.h"

#include "emulation/CommandTable.h"

namespace tqx {

BasicHandControl::BasicHandControl(const ConsoleDisplay &versionBox)
    : m_versionBox(versionBox)
{
}

// A buffer no row recognises is still waiting when its first byte is the letter of a row that
// waits for its argument; otherwise nothing can make it a command any more.
CommandResponder::Recognition BasicHandControl::recognise(std::string_view pending) const
{
    if (pending.empty())
        return {Verdict::Incomplete};
    if (findCommand(pending))
        return {Verdict::Complete, pending.size()};
    for (const CommandRow &row : commandTable()) {
        if (row.letter == pending.front() && !row.aloneOnly)
            return {Verdict::Incomplete};
    }
    return {Verdict::NotACommand};
}

void BasicHandControl::reply(std::string_view command, Bytes &out)
{
    const CommandRow *row = findCommand(command);
    if (!row) {
        out.clear();
        return;
    }
    switch (row->action) {
    case CommandAction::GetPosition:
        out = m_mount.position(row->field);
        break;
    case CommandAction::GotoPosition:
        out = "#";
        m_mount.setPosition(row->field, row->gotoPositionText(command));
        break;
    case CommandAction::FixedReply:
        out = row->fixedReply;
        break;
    case CommandAction::VersionReply:
        out = m_versionBox.ReadVerText();
        break;
    case CommandAction::EchoReply:
        out = Bytes {command[1], '#'};
        break;
    }
}

} // namespace tqx
