#include "rtf/Logging.h"

namespace tqx {

Q_LOGGING_CATEGORY(lcRtf, "tqx.rtf", QtWarningMsg)

} // namespace tqx
