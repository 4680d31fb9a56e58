#include "control/Logging.h"

namespace tqx {

Q_LOGGING_CATEGORY(lcControl, "tqx.control", QtWarningMsg)

} // namespace tqx
