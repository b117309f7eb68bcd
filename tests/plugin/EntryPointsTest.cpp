// The shipped module as the framework sees it: looked up by name, then used.
#include "Vistrel/tcSensorBoard.h"
#include "support/TestSupport.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <stdexcept>

namespace {

class EntryPointsTest : public testsupport::HeadTest {
protected:
    void SetUp() override {
        HeadTest::SetUp();
        module = dlopen(TC120MXS_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(module, nullptr) << dlerror();
    }
    void TearDown() override {
        if (module != nullptr)
            dlclose(module);
        HeadTest::TearDown();
    }
    void* module = nullptr;
};

TEST_F(EntryPointsTest, TypeIsEightAndANullPathIsRefused) {
    // Catches mangled or missing entry points, a wrong type code, and a null path that
    // reaches the std::string constructor (undefined behaviour) instead of a clear refusal.
    auto sensorType = reinterpret_cast<int (*)()>(dlsym(module, "sensorType"));
    auto makeSensor =
        reinterpret_cast<Vistrel::tcSensorBoard* (*)(const char*)>(dlsym(module, "makeSensor"));
    ASSERT_NE(sensorType, nullptr);
    ASSERT_NE(makeSensor, nullptr);
    EXPECT_EQ(sensorType(), 8);
    EXPECT_THROW(makeSensor(nullptr), std::logic_error);

    testing::internal::CaptureStdout();
    Vistrel::tcSensorBoard* board = makeSensor("/dev/spidev1.0");
    const std::string out = testing::internal::GetCapturedStdout();
    ASSERT_NE(board, nullptr);
    EXPECT_EQ(board->getVerticalBin(), 1);
    EXPECT_NE(out.find("Constructing tc120MXSSensorBoard\n"), std::string::npos);
    delete board;
}

} // namespace
