#pragma once

#include <QString>

namespace tqx {

// The full profile's commands as a document (HTML) made from the command tables the interpreter
// answers from: the top-level commands, what the basic table answers of each, and the commands
// the pass-through carries to each device on the bus. Made when asked for, it cannot disagree
// with what the emulator answers.
QString fullCommandReferenceHtml();

} // namespace tqx
