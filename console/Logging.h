#pragma once

#include <QLoggingCategory>

namespace tqx {

// What the console library does, for a user who wants to see it: off by default, switched on with
// QT_LOGGING_RULES="tqx.console.debug=true" (or "tqx.*.debug=true" for every library).
Q_DECLARE_LOGGING_CATEGORY(lcConsole)

} // namespace tqx
