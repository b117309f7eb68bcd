// No framework extras: camhost-board for a framework not known to have them.
#include "FrameworkExtras.h"

namespace camhost {

const tsFrameworkExtras& frameworkExtras() {
    static const tsFrameworkExtras none{};
    return none;
}

} // namespace camhost
