// The framework's layout against the plug-in's, at compile time. Built with frameworkprobe
// against the declarations under host/, it keeps LayoutFigures.h true to them. On the
// integrator's machine, compiled against the framework's real headers with the board's
// compiler, every assertion that fails names a size or offset the plug-in has wrong:
//   arm-linux-gnueabihf-g++ -std=c++17 -fsyntax-only -D_FILE_OFFSET_BITS=64
//       -I<framework include dir> -Itools/frameworkprobe tools/frameworkprobe/LayoutAsserts.cpp
#include "LayoutFigures.h"

namespace frameworkprobe::layout {

static_assert(sizeof(void*) == 4 || sizeof(void*) == 8, "figures are kept for armhf and x86-64");

#define FRAMEWORKPROBE_ASSERT(name, figure, armhf, x64)                                            \
    static_assert((figure) == (kBoardAbi ? (armhf) : (x64)),                                       \
                  name ": the framework's headers and the plug-in's differ");
FRAMEWORKPROBE_LAYOUT(FRAMEWORKPROBE_ASSERT)
#undef FRAMEWORKPROBE_ASSERT

} // namespace frameworkprobe::layout
