#pragma once

#include "RecordingDisplay.h"
#include "ScriptedPort.h"
#include "emulation/CommandInterpreter.h"

// One interpreter wired to a scripted port and a recording display, as the window wires it.
struct Exchange
{
    ScriptedPort port;
    RecordingDisplay display;
    tqx::CommandInterpreter interpreter {port, display};

    // Delivers one receive event and returns what the interpreter wrote in it.
    tqx::Bytes send(const tqx::Bytes &bytes)
    {
        const std::size_t before = port.written.size();
        port.deliver(interpreter, bytes);
        return port.written.substr(before);
    }
};
