// The framework extras, for a framework that has them (the sim, or one the integrator
// has checked).
#include "FrameworkExtras.h"

#include "Vistrel/tcMultipleROISensor.h"
#include "Vistrel/tcRegisterFile.h"

namespace camhost {

const tsFrameworkExtras& frameworkExtras() {
    static const tsFrameworkExtras extras{
        [](Vistrel::tcSensorBoard& board,
           const std::vector<Vistrel::ROI>& list) -> std::optional<int> {
            auto* multiple = dynamic_cast<Vistrel::tcMultipleROISensor*>(&board);
            if (multiple == nullptr)
                return std::nullopt;
            return multiple->setMultipleROI(list);
        },
        [] { return Vistrel::tcRegisterFile::getInstance(nullptr, true)->words(); }};
    return extras;
}

} // namespace camhost
