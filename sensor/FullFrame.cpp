#include "sensor/FullFrame.h"

namespace Vistrel {

// 13280 columns by 9184 rows; built at load time.
const ROI kFullFrame(0, 0, 13280, 9184);

} // namespace Vistrel
