#include "Readback.h"

#include "FpgaRegisters.h"
#include "Readable.h"
#include "Text.h"

#include <iomanip>
#include <string>
#include <vector>

namespace camhost {
namespace {

// The bits the plug-in reported for a register, and where it said so.
struct tsExpected {
    uint32_t mask;
    uint32_t value;
    std::string from;
};

struct tsRow {
    const char* name;
    uint32_t address;
    std::optional<tsExpected> expected;
};

uint32_t halves(int high, int low) {
    return (static_cast<uint32_t>(high) & 0xFFFF) << 16 | (static_cast<uint32_t>(low) & 0xFFFF);
}

std::vector<tsRow> rowsFor(const tsBelief& belief) {
    namespace rx = fpga::rx;
    const auto at = [](uint32_t offset) { return fpga::kReceiverBase + offset; };
    std::optional<tsExpected> enabled, locked, region, start, lanes, bias;
    if (belief.broughtUp) {
        enabled = tsExpected{fpga::kCoreEnable, fpga::kCoreEnable, "init answered 0"};
        locked = tsExpected{fpga::kPllLocked | fpga::kAligned, fpga::kPllLocked | fpga::kAligned,
                            "init answered 0"};
        const Vistrel::ROI& image = belief.imageRegion;
        region = tsExpected{0xFFFFFFFF, halves(image.height, image.width),
                            "get image-roi (height, width)"};
        start = tsExpected{0xFFFFFFFF, halves(image.y, image.x), "get image-roi (y, x)"};
        if (belief.laneInversion)
            lanes = tsExpected{fpga::kAllLanes, *belief.laneInversion & fpga::kAllLanes,
                               "120mxs_config.ini LaneInvertMask"};
        if (belief.testPattern)
            bias = tsExpected{0xFFFFFFFF, 0, "get pattern: a test pattern is on"};
        else if (belief.biasOffset && belief.biasEnable)
            bias = tsExpected{0xFFFFFFFF,
                              (*belief.biasEnable != 0 ? fpga::kBiasEnable : 0u) |
                                  (*belief.biasOffset & ~fpga::kBiasEnable),
                              "register file 0x3D008 (offset), 0x3D00C (enable)"};
    }
    return {{"sysId.word0", fpga::kSysIdBase, std::nullopt},
            {"sysId.word1", fpga::kSysIdBase + 4, std::nullopt},
            {"pll.wordC0", fpga::kPllWordC0, std::nullopt},
            {"receiver.control", at(rx::control), enabled},
            {"receiver.status", at(rx::status), locked},
            {"receiver.laneInversion", at(rx::laneInversion), lanes},
            {"receiver.irqFlags", at(rx::irqFlags), std::nullopt},
            {"receiver.irqMask", at(rx::irqMask), std::nullopt},
            {"receiver.roiResolution", at(rx::roiResolution), region},
            {"receiver.blankOffset", at(rx::blankOffset), std::nullopt},
            {"receiver.writeFaults", at(rx::writeFaults), std::nullopt},
            {"receiver.roiStart", at(rx::roiStart), start},
            {"receiver.dpaReset", at(rx::dpaReset), std::nullopt},
            {"receiver.dpaFifoReset", at(rx::dpaFifoReset), std::nullopt},
            {"receiver.dpaHold", at(rx::dpaHold), std::nullopt},
            {"receiver.dpaLock", at(rx::dpaLock), std::nullopt},
            {"receiver.biasSubtract", at(rx::biasSubtract), bias},
            {"receiver.coreId", at(rx::coreId), std::nullopt},
            {"receiver.coreRev", at(rx::coreRev), std::nullopt},
            {"receiver.coreCaps", at(rx::coreCaps), std::nullopt}};
}

} // namespace

tsReadback readBack(tcHardwareRegisters& hardware, const tsBelief& belief) {
    tsReadback result;
    Json rows = Json::array();
    for (const tsRow& row : rowsFor(belief)) {
        const std::optional<uint32_t> value = hardware.read(row.address);
        if (!value) {
            result.report = {{"device", hardware.device()}, {"error", hardware.problem()}};
            return result;
        }
        Json line = {{"register", row.name},
                     {"address", hexText(row.address, 8)},
                     {"value", hexText(*value, 8)}};
        if (row.expected) {
            const bool match = (*value & row.expected->mask) == row.expected->value;
            line["believed"] = hexText(row.expected->value, 8);
            line["mask"] = hexText(row.expected->mask, 8);
            line["from"] = row.expected->from;
            line["match"] = match;
            result.mismatches += match ? 0 : 1;
        }
        rows.push_back(line);
    }
    const tfReceiverRead receiver = [&hardware](uint32_t offset) {
        return hardware.read(fpga::kReceiverBase + offset).value_or(0);
    };
    result.report = {{"device", hardware.device()},
                     {"registers", rows},
                     {"receiverFields", receiverFields(receiver)},
                     {"mismatches", result.mismatches}};
    result.readable = true;
    return result;
}

void printReadback(std::ostream& out, const Json& report) {
    if (!report.contains("registers")) {
        out << "  readback: " << report.value("error", std::string("unreadable")) << std::endl;
        return;
    }
    for (const Json& row : report.at("registers")) {
        out << "  " << std::left << std::setw(24) << row["register"].get<std::string>()
            << row["address"].get<std::string>() << " = " << row["value"].get<std::string>();
        if (row.contains("match")) {
            out << "  plug-in: " << row["believed"].get<std::string>();
            if (row["mask"] != "0xffffffff")
                out << " (bits " << row["mask"].get<std::string>() << ")";
            out << " from " << row["from"].get<std::string>() << "  "
                << (row["match"].get<bool>() ? "ok" : "MISMATCH");
        }
        out << std::endl;
    }
    out << std::right << "  receiver fields: " << dumpJson(report.at("receiverFields"))
        << std::endl;
}

} // namespace camhost
