#pragma once

#include "emulation/CommandResponder.h"
#include "emulation/ConsoleDisplay.h"
#include "emulation/MountState.h"

namespace tqx {

// The basic profile's hand control: answers the sixteen-command table from the four stored
// position texts, fixed replies and the console's version box. It takes the whole command input
// buffer as the command it recognises, so whatever arrived behind a command goes with it.
class BasicHandControl : public CommandResponder
{
public:
    // The version box is read at each V, so an edit there takes effect with the next one.
    explicit BasicHandControl(const ConsoleDisplay &versionBox);

    Recognition recognise(std::string_view pending) const override;
    void reply(std::string_view command, Bytes &out) override;

    MountState &mount() { return m_mount; }
    const MountState &mount() const { return m_mount; }

private:
    const ConsoleDisplay &m_versionBox;
    MountState m_mount;
};

} // namespace tqx
