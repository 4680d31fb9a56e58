#pragma once

#include <QLoggingCategory>

namespace tqx {

// What the scenario runner does, for a user who wants to see it: off by default, switched on with
// QT_LOGGING_RULES="tqx.scenario.debug=true" (or "tqx.*.debug=true" for every library).
Q_DECLARE_LOGGING_CATEGORY(lcScenario)

} // namespace tqx
