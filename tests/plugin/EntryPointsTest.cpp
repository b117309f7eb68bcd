// The shipped module as the framework sees it: looked up by name, then used.
#include "BringupFixture.h"
#include "Vistrel/tcObserver.h"
#include "Vistrel/tcRegisterFile.h"
#include "Vistrel/tcSensorBoard.h"
#include "support/TestSupport.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <thread>

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

// A client of the register file that deletes the board when one of the board's own words
// reaches it on another thread (the board's publishing thread), then takes its time to
// return, as any observer may.
class DeletingObserver : public Vistrel::tcObserver {
public:
    DeletingObserver(Vistrel::tcSensorBoard* board, uint32_t address)
        : board(board), address(address), caller(std::this_thread::get_id()) {}
    void update(Vistrel::tsUpdate& update) override {
        if (update.address != address || std::this_thread::get_id() == caller || deleted.load())
            return;
        delete board;
        deleted = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    std::atomic<bool> deleted{false};

private:
    Vistrel::tcSensorBoard* board;
    const uint32_t address;
    const std::thread::id caller;
};

class ModuleUnloadTest : public bringup::BringupTest {};

TEST_F(ModuleUnloadTest, UnloadingAfterADeletionOnThePublishingThreadIsSafe) {
    // Catches the board's publishing thread still running code of the module after the
    // board it belonged to was deleted on it: the framework unloads the module once the
    // board is gone, and the thread returns into unmapped code (SIGSEGV).
    // The child re-runs this binary from the start where it can; under qemu-user the binary
    // is not directly executable, so the child is forked at this point instead.
    GTEST_FLAG_SET(death_test_style,
                   testsupport::robustFutexesUnavailable() ? "fast" : "threadsafe");
    copyAllSampleFiles();
    EXPECT_EXIT(
        {
            void* module = dlopen(TC120MXS_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
            auto makeSensor = reinterpret_cast<Vistrel::tcSensorBoard* (*)(const char*)>(
                dlsym(module, "makeSensor"));
            Vistrel::tcSensorBoard* board = makeSensor("/dev/spidev1.0");
            if (board->initialize() != 0)
                std::_Exit(2);
            Vistrel::tcRegisterFile* file = Vistrel::tcRegisterFile::getInstance(nullptr, true);
            DeletingObserver client(board, 0x3A00C); // the rescaled region's height
            file->observable.registerObserver(&client);
            // A vertical-factor write: the board publishes the new region from its
            // publishing thread.
            file->update_word(0x3A040, 2);
            while (!client.deleted.load())
                std::this_thread::yield();
            dlclose(module);
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            file->observable.unregisterObserver(&client);
            std::_Exit(0);
        },
        testing::ExitedWithCode(0), "");
}

} // namespace
