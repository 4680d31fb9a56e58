#pragma once

#include "session/PortChoice.h"

#include <optional>

namespace tqx {

// What the arguments ask of the desktop program: a port to select, and whether to start on it.
struct WindowRequest
{
    std::optional<PortChoice> port;
    bool start = false;
};

// True when the arguments ask for the command-line program (headless mode, --help, --version),
// or are not arguments the desktop program takes: the command-line program then says why and
// ends with the usage error's exit code, so that a mistyped option never opens a window silently.
bool wantsCommandLine(int argc, char *argv[]);

// The desktop program's arguments, once wantsCommandLine() has said they are its own.
WindowRequest windowRequest(int argc, char *argv[]);

// Runs the command-line program and returns its exit code.
int runCommandLine(int argc, char *argv[]);

} // namespace tqx
