#include "support/TestSupport.h"

#include "Vistrel/tcRegisterFile.h"

#include <functional>
#include <vector>

namespace {

struct Recorder : Vistrel::tcObserver {
    std::function<void(Vistrel::tsUpdate&)> onUpdate;
    std::vector<Vistrel::tsUpdate> seen;
    void update(Vistrel::tsUpdate& u) override {
        seen.push_back(u);
        if (onUpdate)
            onUpdate(u);
    }
};

class RegisterFileTest : public testsupport::HeadTest {
protected:
    Vistrel::tcRegisterFile* file = Vistrel::tcRegisterFile::getInstance(nullptr, true);
    std::vector<Recorder*> registered;
    void add(Recorder& r) {
        file->observable.registerObserver(&r);
        registered.push_back(&r);
    }
    void TearDown() override {
        for (Recorder* r : registered)
            file->observable.unregisterObserver(r);
        HeadTest::TearDown();
    }
};

TEST_F(RegisterFileTest, NotifiesInRegistrationOrderWithHandledVisible) {
    // Catches notifications out of order, duplicated by a second registration, or a record
    // copied per observer so that a later observer cannot see the first one acted.
    std::vector<int> order;
    Recorder first, second;
    first.onUpdate = [&](Vistrel::tsUpdate& u) {
        order.push_back(1);
        u.handled = true;
    };
    second.onUpdate = [&](Vistrel::tsUpdate&) { order.push_back(2); };
    add(first);
    add(second);
    file->observable.registerObserver(&first); // again: no second delivery

    file->update_word(0x3A000, 106700);
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
    ASSERT_EQ(second.seen.size(), 1u);
    EXPECT_EQ(second.seen[0].kind, 1);
    EXPECT_EQ(second.seen[0].address, 0x3A000u);
    EXPECT_EQ(second.seen[0].value, 106700u);
    EXPECT_TRUE(second.seen[0].handled);
    EXPECT_FALSE(first.seen[0].handled);
    uint32_t value = 0;
    ASSERT_TRUE(file->read_word(0x3A000, value));
    EXPECT_EQ(value, 106700u);
}

TEST_F(RegisterFileTest, UnregisterStopsDeliveryAlsoDuringANotification) {
    // Catches a notification that reaches an observer after it was removed (use after free).
    Recorder first, second;
    first.onUpdate = [&](Vistrel::tsUpdate&) { file->observable.unregisterObserver(&second); };
    add(first);
    add(second);
    file->update_word(0x100, 1);
    EXPECT_TRUE(second.seen.empty());
    EXPECT_FALSE(file->observable.isRegistered(&second));

    file->observable.unregisterObserver(&first);
    file->update_word(0x100, 2);
    EXPECT_EQ(first.seen.size(), 1u);
}

TEST_F(RegisterFileTest, ObserverMayWriteWordsWhileNotified) {
    // Catches a store lock held across notifications: an observer's own write would deadlock.
    Recorder echo;
    echo.onUpdate = [&](Vistrel::tsUpdate& u) {
        if (u.address == 0x10)
            file->update_word(0x14, u.value + 1);
    };
    add(echo);
    file->update_word(0x10, 41);
    uint32_t value = 0;
    ASSERT_TRUE(file->read_word(0x14, value));
    EXPECT_EQ(value, 42u);
    EXPECT_EQ(echo.seen.size(), 2u);
}

TEST_F(RegisterFileTest, HeadResetForgetsWordsButKeepsObservers) {
    // Catches words leaking from one test into the next, or a reset that drops observers.
    Recorder r;
    add(r);
    file->update_word(0x3A004, 5);
    resetHead(sim::HeadConfig{});
    uint32_t value = 0;
    EXPECT_FALSE(file->read_word(0x3A004, value));
    EXPECT_TRUE(file->words().empty());
    file->update_word(0x3A008, 6);
    EXPECT_EQ(r.seen.size(), 2u);
    EXPECT_EQ(file->words().size(), 1u);
    EXPECT_EQ(Vistrel::tcRegisterFile::getInstance(nullptr, false), file);
    EXPECT_EQ(Vistrel::tcRegisterFile::getInstance("no-such-store", false), nullptr);
}

} // namespace
