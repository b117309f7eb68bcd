#include "support/TestSupport.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/syscall.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace testsupport {

void HeadTest::SetUp() {
    resetHead(sim::HeadConfig{});
    previousDir = fs::current_path().string();
    std::string pattern = (fs::temp_directory_path() / "tc120mxs-test-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    scratch = pattern;
    fs::current_path(scratch);
}

void HeadTest::TearDown() {
    if (!previousDir.empty())
        fs::current_path(previousDir);
    std::error_code ignored;
    if (!scratch.empty())
        fs::remove_all(scratch, ignored);
}

void HeadTest::resetHead(const sim::HeadConfig& config) {
    sim::Clock::useVirtualTime(true);
    sim::Head::instance().reset(config);
}

void HeadTest::writeFile(const std::string& relativePath, const std::string& content) {
    fs::path path = fs::path(scratch) / relativePath;
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out << content;
}

void HeadTest::copySampleConfig(const std::string& name) {
    fs::path from = fs::path(TC120MXS_SOURCE_DIR) / "config" / name;
    fs::path to = fs::path(scratch) / name;
    fs::create_directories(to.parent_path());
    fs::copy(from, to, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
}

bool robustFutexesUnavailable() {
    void* head = nullptr;
    size_t length = 0;
    return syscall(SYS_get_robust_list, 0, &head, &length) != 0 && errno == ENOSYS;
}

} // namespace testsupport
