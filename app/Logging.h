#pragma once

#include <QLoggingCategory>

namespace tqx {

// What the app library does, for a user who wants to see it: off by default, switched on with
// QT_LOGGING_RULES="tqx.app.debug=true" (or "tqx.*.debug=true" for every library).
Q_DECLARE_LOGGING_CATEGORY(lcApp)

} // namespace tqx
