#pragma once
// Framework enumerations and small records used by the board interface.
#include <cstdint>

namespace Vistrel {

enum teBPPMode : int32_t { eeBPP16 = 0, eeBPP10 = 1, eeBPP8 = 2, eeBPP12 = 3 };
enum teTestPattern : int32_t { eeTestPatternOff = 0 };
enum teTriggerMode : int32_t { eeFreeRunning = 0, eeExternalTrigger = 1 };
enum teShutterMode : int32_t { eeRollingShutter = 0, eeGlobalShutter = 1 };

struct tsCaptureRequest {
    int32_t frames = 1;
    int32_t timeoutMs = 0;
};

class tcTimestamp;
class tcStreamer;

} // namespace Vistrel
