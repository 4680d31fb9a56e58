#include "console/Logging.h"

namespace tqx {

Q_LOGGING_CATEGORY(lcConsole, "tqx.console", QtWarningMsg)

} // namespace tqx
