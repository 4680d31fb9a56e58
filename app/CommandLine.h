#pragma once

namespace tqx {

// True when the arguments ask for the command-line program (headless mode, --help, --version)
// rather than the desktop program.
bool wantsCommandLine(int argc, char *argv[]);

// Runs the command-line program and returns its exit code.
int runCommandLine(int argc, char *argv[]);

} // namespace tqx
