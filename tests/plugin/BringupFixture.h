#pragma once
// A board on the simulated head, built in a scratch directory, with helpers to read what
// reached the framework (status lines, register-file words) and the hardware.
#include "plugin/tc120MXSSensorBoard.h"
#include "support/TestSupport.h"

#include "Vistrel/tcRegisterFile.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace bringup {

class BringupTest : public testsupport::HeadTest {
protected:
    void TearDown() override {
        board.reset();
        testsupport::HeadTest::TearDown();
    }

    // The head's own files: sensor register set, rail limits and bad-pixel map.
    void copyHeadFiles() {
        copySampleConfig("120MXS_registers.txt");
        copySampleConfig("120mxs_sensor.ini");
        copySampleConfig("bad_pixel_map.txt");
    }
    void copyAllSampleFiles() {
        copyHeadFiles();
        copySampleConfig("120mxs_config.ini");
    }

    Vistrel::tc120MXSSensorBoard& makeBoard() {
        board = std::make_unique<Vistrel::tc120MXSSensorBoard>("/dev/spidev1.0");
        return *board;
    }
    // A board brought up from the sample configuration, with the status log cleared.
    Vistrel::tc120MXSSensorBoard& readyBoard() {
        copyAllSampleFiles();
        makeBoard();
        EXPECT_EQ(board->initialize(), 0);
        head().clearStatusLines();
        return *board;
    }

    std::vector<std::string> statusTexts() const {
        std::vector<std::string> texts;
        for (const sim::StatusLine& line : sim::Head::instance().statusLines())
            texts.push_back(line.text);
        return texts;
    }
    bool hasStatus(const std::string& text) const {
        const std::vector<std::string> texts = statusTexts();
        return std::find(texts.begin(), texts.end(), text) != texts.end();
    }

    static std::optional<uint32_t> word(uint32_t address) {
        uint32_t value = 0;
        if (!Vistrel::tcRegisterFile::getInstance(nullptr, true)->read_word(address, value))
            return std::nullopt;
        return value;
    }

    // Frame-state field of sensor register 0x03 (bits 20..18) as the chip holds it.
    uint32_t chipFrameState() {
        const auto chip = head().chipRegisters();
        const auto found = chip.find(0x03);
        return found == chip.end() ? 0 : (found->second >> 18) & 0x7;
    }

    std::unique_ptr<Vistrel::tc120MXSSensorBoard> board;
};

} // namespace bringup
