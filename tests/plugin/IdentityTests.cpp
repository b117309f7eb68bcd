// Camera description, version text, temperature, and sensor register peek and poke.
#include "BringupFixture.h"

#include "Vistrel/tsCameraInfo.h"
#include "sim/SimHead.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace bringup {
namespace {

using testing::MatchesRegex;

// Eight version entries, then build date and time, then the FPGA identity.
const char* const kBuildStamp =
    "\"SW:[A-Z][a-z]{2} [ 0-9][0-9] [0-9]{4} [0-9]{2}:[0-9]{2}:[0-9]{2}\" ";

class Identity : public BringupTest {};

TEST_F(Identity, CameraInfoFillsBytesUpTo67AndNothingBeyond) {
    // Catches a record cleared or written past the board's part, or a field at a wrong
    // offset.
    auto& b = makeBoard();
    Vistrel::tsCameraInfo info;
    std::memset(static_cast<void*>(&info), 0xAB, sizeof info);

    EXPECT_EQ(b.GetCameraInfo(&info), 0);

    const auto* bytes = reinterpret_cast<const unsigned char*>(&info);
    EXPECT_EQ(std::memcmp(bytes, "120MXS\0", 7), 0);
    for (size_t i = 7; i < 16; ++i)
        EXPECT_EQ(bytes[i], 0) << "byte " << i;
    EXPECT_EQ(std::memcmp(bytes + 16, "Canon\0", 6), 0);
    for (size_t i = 22; i < 40; ++i)
        EXPECT_EQ(bytes[i], 0) << "byte " << i;
    int32_t frame[4];
    std::memcpy(frame, bytes + 40, sizeof frame);
    EXPECT_EQ(frame[0], 0);
    EXPECT_EQ(frame[1], 0);
    EXPECT_EQ(frame[2], 13280);
    EXPECT_EQ(frame[3], 9184);
    for (size_t i = 56; i < 60; ++i)
        EXPECT_EQ(bytes[i], 0) << "byte " << i;
    uint32_t effective[2];
    std::memcpy(effective, bytes + 60, sizeof effective);
    EXPECT_EQ(effective[0], 13272u);
    EXPECT_EQ(effective[1], 9176u);
    for (size_t i = 68; i < sizeof info; ++i)
        EXPECT_EQ(bytes[i], 0xAB) << "framework byte " << i;
    EXPECT_EQ(b.GetCameraInfo(nullptr), 2);
}

TEST_F(Identity, VersionTextFromSampleFiles) {
    // Catches files read out of order, a lost separator, or the FPGA identity missing.
    copySampleConfig("version");
    auto& b = makeBoard();

    const std::string text = b.getVersion();

    const std::string files = "\"VC-120MXS-M\" \"20A-0137\" \"120MXSM\" \"CN5H0421\" \"C\" \"B\" "
                              "\"A\" \"4.19.0-socfpga\" ";
    ASSERT_EQ(text.compare(0, files.size(), files), 0) << text;
    EXPECT_THAT(text.substr(files.size()),
                MatchesRegex(std::string(kBuildStamp) + "SYSID:1234\\.5e6f7a8b"));
}

TEST_F(Identity, VersionTextMarksMissingFilesAndKeepsEmptyOnes) {
    // Catches a missing file that breaks the text, an empty file taken as missing, a last
    // line without newline dropped, or a long line cut.
    writeFile("version/serial.txt", "");
    writeFile("version/sensor_part.txt", "120MXSM"); // no final newline
    writeFile("version/sensor_serial.txt", "first line\nsecond line\n");
    const std::string kernel =
        "5.15.0-socfpga #1 SMP PREEMPT Tue Dec 8 12:00:00 UTC 2026 armv7l GNU/Linux with a "
        "build tag long enough to pass 64 and 128 characters of text";
    writeFile("version/kernel_version.txt", kernel + "\n");
    sim::HeadConfig config;
    config.sysId = {0, 0};
    resetHead(config);
    auto& b = makeBoard();

    const std::string text = b.getVersion();

    const std::string files =
        "\"???\" \"\" \"120MXSM\" \"first line\" \"???\" \"???\" \"???\" \"" + kernel + "\" ";
    ASSERT_EQ(text.compare(0, files.size(), files), 0) << text;
    EXPECT_THAT(text.substr(files.size()), MatchesRegex(std::string(kBuildStamp) + "SYSID:0\\.0"));
}

TEST_F(Identity, VersionTextWithoutVersionDirectory) {
    // Catches a missing directory that aborts the text instead of marking each entry.
    auto& b = makeBoard();
    const std::string text = b.getVersion();
    std::string missing;
    for (int i = 0; i < 8; ++i)
        missing += "\"???\" ";
    EXPECT_EQ(text.compare(0, missing.size(), missing), 0) << text;
}

TEST_F(Identity, TemperatureIsNotAvailable) {
    // Catches an index-dependent or empty temperature answer.
    auto& b = makeBoard();
    EXPECT_EQ(b.getTemperature(0), "-275");
    EXPECT_EQ(b.getTemperature(7), "-275");
}

TEST_F(Identity, PokeWritesTheSensorAndRefusesLargeRegisterNumbers) {
    // Catches a poke that writes before the range check or formats its report wrongly.
    auto& b = readyBoard();
    const size_t frames = head().spiFrames().size();

    EXPECT_EQ(b.poke(0x10000, 5), 3);
    EXPECT_EQ(head().spiFrames().size(), frames);
    EXPECT_EQ(statusTexts(), (std::vector<std::string>{"Poke: Register 0x10000: Value: 0x0005",
                                                       "Poke: Register 0x10000 too large"}));

    head().clearStatusLines();
    EXPECT_EQ(b.poke(0x3A, 0x1234), 0);
    EXPECT_EQ(statusTexts(), std::vector<std::string>{"Poke: Register 0x03A: Value: 0x1234"});
    EXPECT_EQ(head().statusLines()[0].status, Vistrel::tcStatusReporter::eeStatusInfo);
    const std::vector<sim::SpiFrame> sent = head().spiFrames();
    ASSERT_EQ(sent.size(), frames + 1);
    EXPECT_EQ(sent.back().reg, 0x3A);
    EXPECT_EQ(sent.back().value, 0x1234u);
}

TEST_F(Identity, NegativeRegisterNumbersAddressTheirLow16Bits) {
    // Catches a negative register number refused or sign-extended into the wrong register.
    auto& b = readyBoard();

    EXPECT_EQ(b.poke(-1, 7), 0);
    EXPECT_EQ(statusTexts(), std::vector<std::string>{"Poke: Register 0xFFFFFFFF: Value: 0x0007"});
    EXPECT_EQ(head().spiFrames().back().reg, 0x7FF); // 0xFFFF on an 11-bit bus

    head().clearStatusLines();
    int value = 0;
    EXPECT_EQ(b.peek(-1, &value), 0);
    EXPECT_EQ(value, 7);
    EXPECT_EQ(statusTexts(), std::vector<std::string>{"Peek: Register 0xFFFFFFFF: Value: 0x0007"});
}

TEST_F(Identity, PeekReportsShadowValuesAndMissingRegisters) {
    // Catches a peek that touches the caller's value on failure or reads a wrong register.
    auto& b = readyBoard();
    ASSERT_EQ(b.poke(0x1F0, 0xBEEF), 0);
    head().clearStatusLines();

    int value = 0x55;
    EXPECT_EQ(b.peek(0x10000, &value), 3);
    EXPECT_EQ(value, 0x55);
    EXPECT_EQ(statusTexts(), std::vector<std::string>{"Peek: Register 0x10000 too large"});

    head().clearStatusLines();
    EXPECT_EQ(b.peek(0x7FE, &value), 3); // never written
    EXPECT_EQ(value, 0x55);
    EXPECT_EQ(statusTexts(), (std::vector<std::string>{"Peek: Register 0x7FE not found",
                                                       "Peek: Register 0x7FE: Value: 0x0055"}));

    head().clearStatusLines();
    EXPECT_EQ(b.peek(0x1F0, &value), 0);
    EXPECT_EQ(value, 0xBEEF);
    EXPECT_EQ(statusTexts(), std::vector<std::string>{"Peek: Register 0x1F0: Value: 0xBEEF"});
    EXPECT_EQ(b.peek(0x1F0, nullptr), 2);
}

} // namespace
} // namespace bringup
