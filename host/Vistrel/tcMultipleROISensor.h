#pragma once
// Second board base: the framework's list of regions stacked into one image.
#include "Vistrel/ROI.h"
#include <vector>

namespace Vistrel {

class tcMultipleROISensor {
public:
    explicit tcMultipleROISensor(int maxRegions);
    virtual ~tcMultipleROISensor();

    // Applies the current list to the hardware.
    virtual int programMultipleROI() = 0;

    // Sets the region count; the list always holds exactly that many records (new
    // records are the full frame), so count and list never disagree.
    void setNumberOfROI(int count);
    int getNumberOfROI() const { return static_cast<int>(regions.size()); }
    // Contiguous list of getNumberOfROI() records (null when the count is 0).
    const ROI* getROIList() const { return regions.empty() ? nullptr : regions.data(); }
    // Framework entry: replaces the list and programs it.
    int setMultipleROI(const std::vector<ROI>& list);

protected:
    int maxRegions;

private:
    std::vector<ROI> regions;
};

} // namespace Vistrel
