#include "support/TestSupport.h"

#include "Vistrel/INIReader.h"

namespace {

class IniReaderTest : public testsupport::HeadTest {};

TEST_F(IniReaderTest, MissingFileGivesDefaults) {
    // Catches a reader that answers 0 instead of the caller's default without a file.
    Vistrel::INIReader reader("absent.ini");
    EXPECT_EQ(reader.ParseError(), -1);
    EXPECT_EQ(reader.GetInteger("Settings", "FrameInterval", 106700), 106700);
    EXPECT_EQ(reader.GetUnsignedInteger("Settings", "Bias", 400u), 400u);
    EXPECT_DOUBLE_EQ(reader.GetReal("Voltages_Max", "2V5_VIN", 2.625), 2.625);
    EXPECT_EQ(reader.Get("Settings", "Name", "x"), "x");
}

TEST_F(IniReaderTest, OverridesAreFoundCaseInsensitivelyAndBadNumbersFallBack) {
    // Catches case-sensitive lookup, hex not parsed, and a partly numeric or negative
    // unsigned value accepted instead of the default.
    writeFile("c.ini", "[Settings]\n"
                       "FrameInterval = 50000\n"
                       "LaneInversion = 0x0FFFFFFF\n"
                       "Junk = 12ms\n"
                       "Negative = -1\n"
                       "; comment\n"
                       "[Voltages_Max]\n"
                       "2V5_VIN = 3.0\n");
    Vistrel::INIReader reader("c.ini");
    EXPECT_EQ(reader.ParseError(), 0);
    EXPECT_EQ(reader.GetInteger("settings", "FRAMEINTERVAL", 1), 50000);
    EXPECT_EQ(reader.GetUnsignedInteger("Settings", "LaneInversion", 0), 0x0FFFFFFFu);
    EXPECT_EQ(reader.GetInteger("Settings", "LaneInversion", 0), 0x0FFFFFFF);
    EXPECT_EQ(reader.GetInteger("Settings", "Junk", 7), 7);
    EXPECT_EQ(reader.GetInteger("Settings", "Negative", 7), -1);
    EXPECT_EQ(reader.GetUnsignedInteger("Settings", "Negative", 7), 7u);
    EXPECT_EQ(reader.GetInteger("Settings", "Missing", 9), 9);
    EXPECT_DOUBLE_EQ(reader.GetReal("Voltages_Max", "2V5_VIN", 2.625), 3.0);
    EXPECT_DOUBLE_EQ(reader.GetReal("Voltages_Min", "2V5_VIN", 2.375), 2.375);
}

TEST_F(IniReaderTest, ReportsTheFirstBadLine) {
    // Catches a parse failure reported as success.
    writeFile("bad.ini", "[Settings]\nok = 1\nthis line has no equals\n");
    Vistrel::INIReader reader("bad.ini");
    EXPECT_EQ(reader.ParseError(), 3);
    EXPECT_EQ(reader.GetInteger("Settings", "ok", 0), 1);
}

} // namespace
