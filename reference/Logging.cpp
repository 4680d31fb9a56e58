#include "reference/Logging.h"

namespace tqx {

Q_LOGGING_CATEGORY(lcReference, "tqx.reference", QtWarningMsg)

} // namespace tqx
