#include "Checks.h"

#include "FpgaImage.h"
#include "FpgaRegisters.h"
#include "GuardedRead.h"

#include <cstdio>

namespace boardprobe {
namespace {

namespace fpga = camhost::fpga;

std::string hex(uint32_t word) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08x", static_cast<unsigned>(word));
    return text;
}

} // namespace

void checkFpga(Report& report) {
    // Read-only, as the plug-in's own registers are read back: nothing is written.
    camhost::tcHardwareRegisters registers;
    const std::string mapping = "memory device mappable at 0xFF200000";
    const std::string answering = "FPGA configured and its bridge answering";
    const std::string identity = "FPGA image: system identity and frame receiver core";
    const tsRead word0 = guardedRead(registers, fpga::kSysIdBase);
    if (!word0.value && word0.problem.rfind("bus error", 0) != 0) {
        report.fail(mapping, word0.problem,
                    "it mapped (root or CAP_SYS_RAWIO; a kernel with a strict /dev/mem "
                    "refuses it even to root), or init answers 31");
        report.notCheckable(answering, "the memory device is not mapped");
        report.notCheckable(identity, "the memory device is not mapped");
        return;
    }
    report.ok(mapping, registers.device() + " mapped read-only");

    const tsRead word1 = guardedRead(registers, fpga::kSysIdBase + 4);
    const tsRead coreId = guardedRead(registers, fpga::kReceiverBase + fpga::rx::coreId);
    const tsRead coreRev = guardedRead(registers, fpga::kReceiverBase + fpga::rx::coreRev);
    for (const tsRead* read : {&word0, &word1, &coreId, &coreRev}) {
        if (!read->value) {
            report.fail(answering, read->problem,
                        "a configured FPGA behind an enabled bridge, or every access of the "
                        "plug-in faults");
            report.notCheckable(identity, "the FPGA does not answer");
            return;
        }
    }
    // An unconfigured FPGA or a disabled bridge reads as all ones (or all zeros).
    const bool floating = (*word0.value == 0xFFFFFFFF && *word1.value == 0xFFFFFFFF) ||
                          (*word0.value == 0 && *word1.value == 0);
    if (floating) {
        report.fail(answering,
                    "the system identity reads " + hex(*word0.value) + " " + hex(*word1.value),
                    "a configured FPGA behind an enabled bridge (check that the image is loaded "
                    "and the bridges enabled before the framework starts)");
        report.notCheckable(identity, "the FPGA does not answer");
        return;
    }
    report.ok(answering,
              "the system identity reads " + hex(*word0.value) + " " + hex(*word1.value));

    const std::string seen = "system identity " + hex(*word0.value) + " " + hex(*word1.value) +
                             ", receiver core " + hex(*coreId.value) + " revision " +
                             hex(*coreRev.value);
    if (*word0.value == kSysIdWord0 && *word1.value == kSysIdWord1 &&
        *coreId.value == kReceiverCoreId && *coreRev.value == kReceiverCoreRev)
        report.ok(identity, seen);
    else
        report.fail(identity, seen,
                    "the image it was written for (system identity " + hex(kSysIdWord0) + " " +
                        hex(kSysIdWord1) + ", receiver core " + hex(kReceiverCoreId) +
                        " revision " + hex(kReceiverCoreRev) +
                        "): another image may have another register map");
}

} // namespace boardprobe
