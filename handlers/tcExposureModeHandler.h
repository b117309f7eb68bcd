#pragma once
// "EXPM": switches a board's external exposure on and off and reports it, through the
// optional tcExternalExposure board interface; register-file word 0x3A200 does the same.
#include "Vistrel/tcAbstractHandler.h"
#include "Vistrel/tsUpdate.h"
#include "plugin/RegisterFileWords.h"

#include <cstdint>
#include <map>
#include <string>

namespace platform {
class tcTraceRecord;
}

namespace Vistrel {

class tcExternalExposure;

class tcExposureModeHandler : public tcAbstractHandler {
public:
    enum teExposureModeOp : int32_t {
        eeExposureModeSet = 0, // external exposure from the flag
        eeExposureModeGet = 1, // external exposure into the flag
    };

    static constexpr uint32_t kExposureModeWord = regfile::kExposureMode;

    // Registers "EXPM" in handlers when given one. Its commands go into record unless it
    // is null (not owned).
    tcExposureModeHandler(tcSensorBoard* board, tcAbstractHandler* next,
                          std::map<std::string, tcAbstractHandler*>* handlers,
                          platform::tcTraceRecord* record = nullptr);
    ~tcExposureModeHandler() override;

    void update(tsUpdate& update) override;
    // "EXPM 0" selects external exposure, any other number timed exposure; "EXPM" alone
    // answers 0 for external and 1 for timed.
    std::string execute(std::string& command, std::string& arguments) override;
    // on is the external-exposure flag; answers eeNotSupported on a board without
    // the interface.
    int execute(teExposureModeOp op, bool& on);

private:
    tcExternalExposure* externalExposure() const;
    std::string answer(std::string& command, std::string& arguments);

    platform::tcTraceRecord* record;
};

} // namespace Vistrel
