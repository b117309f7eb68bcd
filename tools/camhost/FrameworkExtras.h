#pragma once
// Features that need a framework name the plug-in itself does not rely on, so that the
// real framework may lack it: setMultipleROI (the "regions" command) and a list of every
// register-file word. Each is empty unless its source file is linked in: camhost always
// has them (the sim defines both); camhost-board only when built with
// CAMHOST_BOARD_FRAMEWORK_EXTRAS, for a framework known to have them.
#include "Vistrel/ROI.h"
#include "Vistrel/tcSensorBoard.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <vector>

namespace camhost {

struct tsFrameworkExtras {
    // The framework's setMultipleROI on the board's multiple-ROI view; nothing when the
    // board has no such view.
    std::function<std::optional<int>(Vistrel::tcSensorBoard&, const std::vector<Vistrel::ROI>&)>
        setMultipleROI;
    // tcRegisterFile::words(): every word the register file holds.
    std::function<std::map<uint32_t, uint32_t>()> registerFileWords;
};

const tsFrameworkExtras& frameworkExtras();

} // namespace camhost
