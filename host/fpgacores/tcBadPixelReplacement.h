#pragma once
// FPGA-core library: bad-pixel replacement core.
#include "Vistrel/ROI.h"
#include <string>

class tcBadPixelReplacement {
public:
    tcBadPixelReplacement(unsigned int controlBase, unsigned int mapBase, unsigned int dmaBase,
                          unsigned int memoryBase, Vistrel::ROI fullFrame);
    ~tcBadPixelReplacement();
    tcBadPixelReplacement(const tcBadPixelReplacement&) = delete;
    tcBadPixelReplacement& operator=(const tcBadPixelReplacement&) = delete;

    // Core start-up; true when ready.
    bool initialize();
    void reset(bool reset);
    void setColor(bool color);
    void setRoi(Vistrel::ROI roi);
    // Map data: a file name, or empty to clear the replacement data.
    void setData(std::string data);
    std::string defaultData();
    void setMapState(bool on);
    int mapState();
    int onState();
    void dumpRegisters();

private:
    unsigned int controlBase;
    unsigned int mapBase;
    unsigned int dmaBase;
    unsigned int memoryBase;
    Vistrel::ROI fullFrame;
};
