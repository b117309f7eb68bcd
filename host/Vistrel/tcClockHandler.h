#pragma once
// Framework clock handler: "GCLK" answers the board's clock setting, "SCLK n" sets it.
#include "Vistrel/tcAbstractHandler.h"
#include <map>
#include <string>

namespace Vistrel {

class tcClockHandler : public tcAbstractHandler {
public:
    tcClockHandler(tcSensorBoard* board, tcAbstractHandler* next,
                   std::map<std::string, tcAbstractHandler*>* handlers);
    ~tcClockHandler() override;
    std::string execute(std::string& command, std::string& arguments) override;
};

} // namespace Vistrel
