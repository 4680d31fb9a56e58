#pragma once

#include <QLoggingCategory>

namespace tqx {

// What the control channel does, for a user who wants to see it: off by default, switched on with
// QT_LOGGING_RULES="tqx.control.debug=true" (or "tqx.*.debug=true" for every library).
Q_DECLARE_LOGGING_CATEGORY(lcControl)

} // namespace tqx
