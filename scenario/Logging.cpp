#include "scenario/Logging.h"

namespace tqx {

Q_LOGGING_CATEGORY(lcScenario, "tqx.scenario", QtWarningMsg)

} // namespace tqx
