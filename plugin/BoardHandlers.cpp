// The board's own command handlers, put in front of the framework's chain.
#include "Vistrel/tcClockHandler.h"
#include "handlers/tcBadPixelHandler.h"
#include "handlers/tcExposureModeHandler.h"
#include "plugin/tc120MXSSensorBoard.h"

#include <memory>

namespace Vistrel {

// Chain: bad-pixel -> exposure mode -> clock -> next. The caller owns the three handlers.
tcAbstractHandler*
tc120MXSSensorBoard::getCustomHandlers(tcAbstractHandler* next,
                                       std::map<std::string, tcAbstractHandler*>* handlers) {
    // Should a construction throw, the map must not keep pointers to handlers freed here.
    std::map<std::string, tcAbstractHandler*> previous;
    if (handlers != nullptr)
        previous = *handlers;
    try {
        auto clock = std::make_unique<tcClockHandler>(this, next, handlers);
        auto mode =
            std::make_unique<tcExposureModeHandler>(this, clock.get(), handlers, record.get());
        auto pixels = std::make_unique<tcBadPixelHandler<tcBadPixelReplacement>>(
            &fpga.badPixelReplacement.unrecorded(), mode.get(), handlers, &fpgaReady, record.get());
        clock.release();
        mode.release();
        return pixels.release();
    } catch (...) {
        if (handlers != nullptr)
            *handlers = previous;
        throw;
    }
}

} // namespace Vistrel
