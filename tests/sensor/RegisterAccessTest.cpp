// SPI write frames, the shadow map and the bit-field operations of the 120MXS.
#include "SensorFixture.h"

#include <atomic>
#include <thread>

using namespace sensortest;

namespace {

using RegisterAccessTest = SensorTest;

TEST_F(RegisterAccessTest, FrameCarriesMarkerRegisterAndValueInWireOrder) {
    // Catches a wrong bit layout or byte order of the 5-byte write frame.
    sensor->writeRegister(0x47, 1);
    sensor->writeRegister(0x7A, 0x1E0);

    const auto sent = frames();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_THAT(sent[0].bytes, ElementsAre(0x84, 0x70, 0x00, 0x00, 0x01));
    EXPECT_THAT(sent[1].bytes, ElementsAre(0x87, 0xA0, 0x00, 0x01, 0xE0));
    EXPECT_TRUE(sent[0].wellFormed);
    EXPECT_EQ(chip(0x47), 1u);
    EXPECT_EQ(chip(0x7A), 0x1E0u);
    EXPECT_EQ(shadow(0x47), 1);
}

TEST_F(RegisterAccessTest, HighRegisterAndValueBitsStayOffTheWireButInTheShadow) {
    // Catches register bits above 10 or value bits above 27 leaking into the frame, or the
    // shadow keeping the truncated key or value instead of what was written.
    sensor->writeRegister(0x803, 0xF0000012);

    const auto sent = frames();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_THAT(sent[0].bytes, ElementsAre(0x80, 0x30, 0x00, 0x00, 0x12));
    EXPECT_EQ(chip(0x003), 0x12u);
    EXPECT_EQ(shadow(0x803), 0xF0000012);
    EXPECT_EQ(shadow(0x003), -1);
}

TEST_F(RegisterAccessTest, ShadowLookupOfUnwrittenRegisterCreatesNothing) {
    // Catches readShadowRegister inventing an entry or overwriting the caller's value, and a
    // field read that warns more than once or sends anything to the chip.
    unsigned int value = 0xDEADBEEF;
    EXPECT_EQ(sensor->readShadowRegister(0x12, value), -1);
    EXPECT_EQ(value, 0xDEADBEEFu);
    EXPECT_EQ(sensor->readShadowRegister(0x12, value), -1);

    CaptureStderr();
    EXPECT_EQ(sensor->getRegisterField(0x12, 0xFF, 0), 0u);
    EXPECT_EQ(GetCapturedStderr(),
              "Warning: getRegisterField called but register: 18 was not in shadow register");
    EXPECT_EQ(shadow(0x12), 0);

    CaptureStderr();
    EXPECT_EQ(sensor->getRegisterField(0x12, 0xFF, 0), 0u);
    EXPECT_EQ(GetCapturedStderr(), "");
    EXPECT_TRUE(frames().empty());
}

TEST_F(RegisterAccessTest, FieldUpdateKeepsNeighbouringBitsAndMasksTheValue) {
    // Catches a read-modify-write that clears bits outside the field or lets value bits
    // beyond the mask spill into neighbouring fields. 0x3FFFF holds vertical mode code 7,
    // which the chip refuses; the field arithmetic is what is looked at.
    expectViolation("sensor-code-invalid");
    sensor->writeRegister(3, 0x3FFFF);
    CaptureStderr();
    sensor->setRegisterField(3, 5, 7, 15);
    EXPECT_EQ(chip(3), 0x2FFFFu);

    sensor->writeRegister(0x20, 0);
    sensor->setRegisterField(0x20, 0xFFFF, 0x3, 4);
    EXPECT_EQ(chip(0x20), 0x30u);
    EXPECT_EQ(sensor->getRegisterField(3, 7, 15), 5u);
    EXPECT_EQ(GetCapturedStderr(), ""); // registers with entries warn about nothing
}

TEST_F(RegisterAccessTest, FieldUpdateOfUnwrittenRegisterStartsFromZeroAndWarns) {
    // Catches a field update of an unknown register that skips the write, starts from
    // garbage, or omits (or newline-terminates) its warning.
    CaptureStderr();
    sensor->setRegisterField(0x7A, 15, 0xF, 5);
    EXPECT_EQ(GetCapturedStderr(),
              "Warning: setRegisterField called but register: 122 was not in shadow register");
    EXPECT_EQ(chip(0x7A), 0x1E0u);
    EXPECT_EQ(shadow(0x7A), 0x1E0);
}

TEST_F(RegisterAccessTest, ConcurrentFieldUpdatesOfOneRegisterLoseNothing) {
    // Catches a field update that is not one step under the register lock (one thread's
    // field lost to another's stale read) and unlocked shadow lookups racing a write
    // (ThreadSanitizer reports those).
    sensor->writeRegister(3, 0);
    constexpr int kRounds = 2000;
    std::atomic<bool> go{false};
    std::thread startLines([&] {
        while (!go)
            std::this_thread::yield();
        for (int i = 1; i <= kRounds; ++i)
            sensor->setRegisterField(3, i, 0x7FFF, 0);
    });
    std::thread frameStates([&] {
        while (!go)
            std::this_thread::yield();
        for (int i = 1; i <= kRounds; ++i)
            sensor->setRegisterField(3, i % 5 == 0 ? 4 : 1, 0x7, 18);
    });
    std::thread readers([&] {
        while (!go)
            std::this_thread::yield();
        unsigned int value = 0;
        for (int i = 0; i < kRounds; ++i) {
            sensor->readShadowRegister(3, value);
            // New entries are created while the writers run.
            sensor->readShadowRegister(static_cast<unsigned short>(0x100 + i), value);
            (void)sensor->getRegisterField(static_cast<unsigned short>(0x100 + i), 1, 0);
        }
    });
    CaptureStderr();
    go = true;
    startLines.join();
    frameStates.join();
    readers.join();
    (void)GetCapturedStderr();

    // Both threads' last fields are present: neither overwrote the other with stale bits.
    EXPECT_EQ(chipField(3, 0x7FFF, 0), static_cast<uint32_t>(kRounds));
    EXPECT_EQ(chipField(3, 0x7, 18), 4u);
    EXPECT_EQ(shadow(3), static_cast<int64_t>(chip(3)));
    // And every frame sent had both fields from a consistent snapshot: the start line never
    // goes backwards between consecutive frames of register 3.
    uint32_t lastLine = 0;
    int backwards = 0;
    for (const auto& frame : frames()) {
        if (frame.reg != 3)
            continue;
        const uint32_t line = frame.value & 0x7FFF;
        if (line < lastLine)
            ++backwards;
        lastLine = line;
    }
    EXPECT_EQ(backwards, 0);
    EXPECT_EQ(shadow(0x100 + kRounds - 1), 0);
}

} // namespace
