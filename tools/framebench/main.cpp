// framebench: making one full frame of the simulated head against writing its bytes once.
// Goal: at most twice the time of the plain write.
#include "sim/frames/Frame.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// A full frame as the sample configuration programs it.
sim::frames::FrameSettings fullFrame() {
    sim::frames::FrameSettings s;
    s.rowS = 32;
    s.rowE = 9215;
    s.gainCode = 15;
    s.exposureUs = 80000;
    s.width = sim::frames::kImageColumns;
    s.height = sim::frames::kImageRows;
    s.blankLines = sim::frames::kBlankingLines;
    s.blankColumns = sim::frames::kMarginColumns;
    s.bias = 0x80000190;
    s.shiftDirection = 0;
    s.shiftBits = 1;
    return s;
}

template <typename Work> double bestSeconds(int runs, Work work) {
    double best = 1e30;
    for (int i = 0; i < runs; ++i) {
        const auto begin = Clock::now();
        work(i);
        best = std::min(best, std::chrono::duration<double>(Clock::now() - begin).count());
    }
    return best;
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const sim::frames::FrameSettings settings = fullFrame();
    const size_t width = static_cast<size_t>(settings.width);
    const size_t lines = static_cast<size_t>(settings.height);
    std::vector<uint16_t> image(width * lines); // touched once here, so no run pays page faults

    const double write = bestSeconds(
        runs, [&](int i) { std::memset(image.data(), i & 0xFF, image.size() * sizeof(uint16_t)); });
    const double make = bestSeconds(runs, [&](int) {
        sim::frames::LineRenderer renderer(settings, 1);
        for (size_t line = 0; line < lines; ++line)
            renderer.render(static_cast<int>(line), image.data() + line * width);
    });
    const double megabytes = static_cast<double>(image.size() * sizeof(uint16_t)) / 1e6;
    std::printf("full frame %zu x %zu, %.0f MB, best of %d runs\n", width, lines, megabytes, runs);
    std::printf("write the bytes once: %8.1f ms\n", write * 1e3);
    std::printf("make the frame:       %8.1f ms\n", make * 1e3);
    std::printf("ratio: %.2f (goal: at most 2)\n", make / write);
    return 0;
}
