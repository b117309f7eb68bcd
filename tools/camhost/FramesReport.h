#pragma once
// The delivered frames in the state report, and as 16-bit PGM files.
#include "sim/frames/Frame.h"

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

namespace camhost {

using Json = nlohmann::ordered_json;

// "frames": one object per logged frame; "frameSummary": count and mean spacing;
// "frameFindings": the sim's frame rule findings.
Json framesJson(const std::vector<sim::frames::FrameRecord>& frames);
Json frameSummaryJson(const std::vector<sim::frames::FrameRecord>& frames, long long count);
Json frameFindingsJson(const std::vector<sim::frames::Finding>& findings);

// Writes a frame as binary PGM (P5, maxval 65535, big-endian), keeping every scale-th line
// and column; values are moved up to the top of the 16 bits. False when it cannot write.
bool writePgm(const std::string& path, const sim::frames::FrameRecord& frame, int scale);

// Writes the first `max` frames (all when max is negative) into dir as frame-NNNNNN.pgm;
// returns how many were written, or -1 (reported on standard error) when one could not be.
int writeFrameFiles(const std::string& dir, const std::vector<sim::frames::FrameRecord>& frames,
                    long long max, int scale);

} // namespace camhost
