// The framework's virtual tables, in the order the plug-in was compiled against. Not built:
// virtual_tables.cmake compiles it with GCC's -fdump-lang-class against a set of headers
// and lists every framework class's table, entry by entry. The plug-in calls and overrides
// virtual operations by their place in these tables, so a header with one operation added,
// removed or moved makes it call the wrong function. VirtualTables.txt is the listing of
// the headers under host/; on the integrator's machine, with the board's compiler:
//   cmake -DCXX=arm-linux-gnueabihf-g++ -DINCLUDE_DIR=<framework include dir>
//         -DEXPECTED=tools/frameworkprobe/VirtualTables.txt
//         -P tools/frameworkprobe/virtual_tables.cmake
#include "Tarnis/tcADS7828.h"
#include "Tarnis/tcGpio.h"
#include "Vistrel/tcAbstractHandler.h"
#include "Vistrel/tcClockHandler.h"
#include "Vistrel/tcExternalExposure.h"
#include "Vistrel/tcFrameOutput.h"
#include "Vistrel/tcMultipleROISensor.h"
#include "Vistrel/tcObserver.h"
#include "Vistrel/tcRegisterFile.h"
#include "Vistrel/tcSensorBoard.h"
#include "Vistrel/tcStatusReporter.h"
#include "fpgacores/tcBadPixelReplacement.h"
#include "fpgacores/tcPixelShift.h"
#include "fpgacores/tcPwm.h"
#include "tcSPIDevice.h"
