#include "app/Logging.h"

namespace tqx {

Q_LOGGING_CATEGORY(lcApp, "tqx.app", QtWarningMsg)

} // namespace tqx
