#include "widgets/Logging.h"

namespace tqx {

Q_LOGGING_CATEGORY(lcWidgets, "tqx.widgets", QtWarningMsg)

} // namespace tqx
