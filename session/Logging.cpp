#include "session/Logging.h"

namespace tqx {

Q_LOGGING_CATEGORY(lcSession, "tqx.session", QtWarningMsg)

} // namespace tqx
