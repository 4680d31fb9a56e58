#pragma once

#include <QLoggingCategory>

namespace tqx {

// What the widgets library does, for a user who wants to see it: off by default, switched on with
// QT_LOGGING_RULES="tqx.widgets.debug=true" (or "tqx.*.debug=true" for every library).
Q_DECLARE_LOGGING_CATEGORY(lcWidgets)

} // namespace tqx
