#include "FramesReport.h"

#include "Console.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

namespace camhost {

Json framesJson(const std::vector<sim::frames::FrameRecord>& frames) {
    Json list = Json::array();
    for (const sim::frames::FrameRecord& frame : frames) {
        Json item = {{"index", frame.index},
                     {"timeUs", static_cast<long long>(frame.time.count())},
                     {"exposureStartUs", static_cast<long long>(frame.exposureStart.count())},
                     {"width", frame.width},
                     {"height", frame.height},
                     {"exposureUs", frame.exposureUs},
                     {"triggered", frame.triggered},
                     {"meanLevel", frame.meanLevel}};
        if (!frame.geometry.empty())
            item["geometry"] = frame.geometry;
        list.push_back(item);
    }
    return list;
}

Json frameSummaryJson(const std::vector<sim::frames::FrameRecord>& frames, long long count) {
    Json interval = nullptr;
    if (frames.size() >= 2)
        interval = static_cast<double>((frames.back().time - frames.front().time).count()) /
                   static_cast<double>(frames.size() - 1);
    return {{"count", count}, {"meanIntervalUs", interval}};
}

Json frameFindingsJson(const std::vector<sim::frames::Finding>& findings) {
    Json list = Json::array();
    for (const sim::frames::Finding& finding : findings)
        list.push_back({{"rule", finding.rule},
                        {"reason", finding.reason},
                        {"timeUs", static_cast<long long>(finding.time.count())}});
    return list;
}

bool writePgm(const std::string& path, const sim::frames::FrameRecord& frame, int scale) {
    sim::frames::LineRenderer renderer(frame.settings, scale);
    const size_t width = renderer.lineSize();
    const size_t lines = sim::frames::scaledSize(frame.settings.height, scale);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out)
        return false;
    out << "P5\n" << width << " " << lines << "\n65535\n";
    const int up = 16 - frame.bitDepth;
    std::vector<uint16_t> line(width);
    std::vector<char> bytes(2 * width);
    for (size_t i = 0; i < lines; ++i) {
        renderer.render(static_cast<int>(i * static_cast<size_t>(scale)), line.data());
        for (size_t k = 0; k < width; ++k) {
            const unsigned value = static_cast<unsigned>(line[k]) << up;
            bytes[2 * k] = static_cast<char>((value >> 8) & 0xFF);
            bytes[2 * k + 1] = static_cast<char>(value & 0xFF);
        }
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    out.flush();
    return static_cast<bool>(out);
}

int writeFrameFiles(const std::string& dir, const std::vector<sim::frames::FrameRecord>& frames,
                    long long max, int scale) {
    int written = 0;
    for (const sim::frames::FrameRecord& frame : frames) {
        if (max >= 0 && written >= max)
            break;
        char name[32];
        std::snprintf(name, sizeof name, "frame-%06lld.pgm", frame.index);
        const std::string path = dir + "/" + name;
        if (!writePgm(path, frame, scale)) {
            err() << "camhost: cannot write " << path << ": " << std::strerror(errno) << std::endl;
            return -1;
        }
        ++written;
    }
    return written;
}

} // namespace camhost
