#pragma once
// Observers camhost registers with the framework's register file, through nothing but
// the interfaces the plug-in itself relies on (getInstance, observable, tsUpdate).
#include "Vistrel/tcObserver.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>

namespace camhost {

// Registered last before a client's write, so that it sees whether the board's observer
// handled it, and when the notification was delivered (on whatever thread).
class tcWriteWitness : public Vistrel::tcObserver {
public:
    void expect(uint32_t word);
    void update(Vistrel::tsUpdate& update) override;
    bool handled() const;
    // True once the expected word's notification arrived, false after the timeout.
    bool waitDelivered(std::chrono::milliseconds timeout) const;

private:
    mutable std::mutex mutex;
    mutable std::condition_variable delivered;
    uint32_t address = 0;
    bool seen = false;
    bool wasHandled = false;
};

// Every word notified while it is registered, newest value last: the register file as
// far as a framework without a list of all its words can show it.
class tcRegisterFileLog : public Vistrel::tcObserver {
public:
    // Registers with the process-wide register file; unregisters when destroyed.
    tcRegisterFileLog();
    ~tcRegisterFileLog() override;
    tcRegisterFileLog(const tcRegisterFileLog&) = delete;
    tcRegisterFileLog& operator=(const tcRegisterFileLog&) = delete;

    void update(Vistrel::tsUpdate& update) override;
    std::map<uint32_t, uint32_t> words() const;

private:
    mutable std::mutex mutex;
    std::map<uint32_t, uint32_t> notified;
};

} // namespace camhost
