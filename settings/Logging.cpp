#include "settings/Logging.h"

namespace tqx {

Q_LOGGING_CATEGORY(lcSettings, "tqx.settings", QtWarningMsg)

} // namespace tqx
