#pragma once

namespace tqx {

// Which command set the interpreter answers.
// Basic: the sixteen-command table, one answer per receive event, unknown bytes block the buffer.
// Full: every top-level command of current hand-control firmware, each complete command in the
// buffer answered in order, unknown bytes discarded without a reply.
enum class Profile { Basic, Full };

} // namespace tqx
