#include "WriteWitness.h"

#include "Vistrel/tcRegisterFile.h"
#include "Vistrel/tsUpdate.h"

namespace camhost {

void tcWriteWitness::expect(uint32_t word) {
    std::lock_guard<std::mutex> lock(mutex);
    address = word;
    seen = false;
    wasHandled = false;
}

void tcWriteWitness::update(Vistrel::tsUpdate& update) {
    // The observer's own writes to other words pass here too.
    std::lock_guard<std::mutex> lock(mutex);
    if (update.address != address)
        return;
    seen = true;
    wasHandled = update.handled;
    delivered.notify_all();
}

bool tcWriteWitness::handled() const {
    std::lock_guard<std::mutex> lock(mutex);
    return wasHandled;
}

bool tcWriteWitness::waitDelivered(std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(mutex);
    return delivered.wait_for(lock, timeout, [this] { return seen; });
}

tcRegisterFileLog::tcRegisterFileLog() {
    Vistrel::tcRegisterFile::getInstance(nullptr, true)->observable.registerObserver(this);
}

tcRegisterFileLog::~tcRegisterFileLog() {
    Vistrel::tcRegisterFile::getInstance(nullptr, true)->observable.unregisterObserver(this);
}

void tcRegisterFileLog::update(Vistrel::tsUpdate& update) {
    if (update.kind != Vistrel::tsUpdate::eeWordWritten)
        return;
    std::lock_guard<std::mutex> lock(mutex);
    notified[update.address] = update.value;
}

std::map<uint32_t, uint32_t> tcRegisterFileLog::words() const {
    std::lock_guard<std::mutex> lock(mutex);
    return notified;
}

} // namespace camhost
