// Register-file writes that reach the board: sensor gain, the frame receiver's bias
// subtraction and the vertical line factor.
#include "plugin/RecordedBoard.h"
#include "plugin/RegisterFileWords.h"
#include "plugin/tc120MXSSensorBoard.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <iostream>

namespace Vistrel {

namespace {

// Of the receiver's bias-subtract word, a client changes the enable bit or the offset's
// low 11 bits.
constexpr uint32_t kBiasEnableBit = tcCanon120FrameCtrl::kBiasSubtractEnable;
constexpr uint32_t kBiasOffsetMask = 0x7FFu;

bool isSensorGain(uint32_t value) {
    switch (value) {
    case tc120MXS::eeGain3:
    case tc120MXS::eeGain7:
    case tc120MXS::eeGain12:
    case tc120MXS::eeGain13:
    case tc120MXS::eeGain15:
        return true;
    default:
        return false;
    }
}

// Rescales a row count to another line factor, kept to whole sensor row blocks of four.
uint32_t rescaleRows(uint32_t rows, uint32_t oldFactor, uint32_t newFactor) {
    return (oldFactor * rows / newFactor) & ~3u;
}

} // namespace

void tc120MXSSensorBoard::tcRegFileObs::putBack(uint32_t address, uint32_t inEffect,
                                                bool (*acceptable)(uint32_t)) {
    // Only a value this observer would take: one it refuses would come back refused, and be
    // put back again, for ever.
    if (acceptable(inEffect))
        owner->publishWord(address, inEffect);
}

void tc120MXSSensorBoard::tcRegFileObs::update(tsUpdate& update) {
    // Into the board before anything else: the destructor waits only for notifications
    // that got this far.
    const tcLifetimeGate::tcPass inside(owner->lifetime);
    if (!inside)
        return; // the board is being destroyed
    const tcRecordedNotification recorded(owner->record.get(), update);
    // Words the board publishes from here on leave it after this notification.
    const tcInNotification inNotification;

    std::cout << "tcRegFileObs::update register: " << update.address << std::endl;
    if (update.kind != tsUpdate::eeWordWritten)
        return;
    switch (update.address) {
    case regfile::kGain:
    case regfile::kBiasOffset:
    case regfile::kBiasEnable:
    case regfile::kVerticalFactor:
        break;
    default:
        return; // not ours: left for the other observers
    }

    const tcDeferredNotifications::tsWord word{update.address, update.value,
                                               tcRegFileOutbox::sendingOnThisThread(),
                                               tcRegFileOutbox::sendingEchoOnThisThread()};
    // After the words already left to the board's thread, so that words take effect in the
    // order they came, and only if those and then the board mutex come within the bound;
    // otherwise behind them.
    const auto deadline = std::chrono::steady_clock::now() + mostWait.load();
    const auto left = [&deadline] {
        return std::max(std::chrono::microseconds(0),
                        std::chrono::duration_cast<std::chrono::microseconds>(
                            deadline - std::chrono::steady_clock::now()));
    };
    if (!owner->deferred->idleBy(deadline) || !applyWithin(word, left(), true)) {
        if (platform::tcTraceRecord* record = owner->record.get())
            record->event("deferred", "addr=0x%x val=0x%x", word.address, word.value);
        owner->deferred->defer(word);
    }
    update.handled = true;
}

bool tc120MXSSensorBoard::tcRegFileObs::applyWithin(const tcDeferredNotifications::tsWord& word,
                                                    std::chrono::microseconds within,
                                                    bool stepAside) {
    tcBoardScope scope(*owner, within, stepAside);
    if (!scope.held())
        return false;
    if (platform::tcTraceRecord* record = owner->record.get(); record && !stepAside)
        record->event("deferred_apply", "addr=0x%x val=0x%x", word.address, word.value);
    apply(word);
    return true;
}

void tc120MXSSensorBoard::tcRegFileObs::apply(const tcDeferredNotifications::tsWord& word) {
    // A word for hardware that is not up yet (or failed to come up) is taken as handled
    // and left: a frame to an unpowered sensor or a core that never said it was usable
    // breaks the hardware.
    const bool sensorWord =
        word.address == regfile::kGain || word.address == regfile::kVerticalFactor;
    if (!(sensorWord ? owner->sensorReady.load() : owner->fpgaReady.load()))
        return;
    bool applied = false; // the hardware changed to the client's value
    switch (word.address) {
    case regfile::kGain:
        if (isSensorGain(word.value)) {
            applied = static_cast<uint32_t>(owner->sensor.getGain()) != word.value;
            // A client's value queued again, which the sensor holds: a second, identical
            // frame would be all it sends.
            if (word.echo && !applied)
                break;
            owner->sensor.setGain(static_cast<tc120MXS::teGain>(word.value));
        } else { // refused: the word goes back to the gain the sensor has
            putBack(regfile::kGain, owner->sensor.getGain(), isSensorGain);
        }
        break;
    case regfile::kBiasOffset:
        if (word.value <= kBiasOffsetMask) {
            const uint32_t current = owner->clientBiasSubtract();
            owner->setClientBiasSubtract((current & ~kBiasOffsetMask) | word.value);
            applied = owner->clientBiasSubtract() != current;
        } else {
            // Refused: the word goes back to the offset the receiver works with.
            putBack(regfile::kBiasOffset, owner->clientBiasSubtract() & ~kBiasEnableBit,
                    [](uint32_t offset) { return offset <= kBiasOffsetMask; });
        }
        break;
    case regfile::kBiasEnable: {
        const uint32_t current = owner->clientBiasSubtract();
        owner->setClientBiasSubtract((current & ~kBiasEnableBit) |
                                     (word.value != 0 ? kBiasEnableBit : 0u));
        applied = owner->clientBiasSubtract() != current;
        break;
    }
    default:
        changeVerticalFactor(word.value);
        break;
    }
    // The client's value is in effect now. Should a word of the board's have been queued
    // since the client's value was last echoed, it may be stored after the client's word
    // (when the client stored it is not known here): the client's value is queued again
    // behind it. Never for the board's own word, nor for a value the hardware already had:
    // those would answer each other for ever.
    if (applied && !word.ownWord && owner->outbox->queuedSinceEcho(word.address)) {
        owner->publishWord(word.address, word.value);
        owner->outbox->echoed(word.address);
    }
}

void tc120MXSSensorBoard::tcRegFileObs::changeVerticalFactor(uint32_t factor) {
    // A region cannot change during a capture: refused as setROI refuses it (same answer,
    // same words published), before the new mode reaches the sensor and corrupts the frame
    // in flight.
    if (owner->readoutMayRun()) {
        owner->setROI(owner->getROI());
        return;
    }
    const uint16_t old = owner->verticalMode;
    if (owner->sensor.setVerticalMode(factor) != eeSuccess)
        return;

    // The same sensor rows as before, counted in rows of the new factor.
    const ROI current = owner->getROI();
    const uint32_t y = rescaleRows(static_cast<uint32_t>(current.y), old, factor);
    const uint32_t height = rescaleRows(static_cast<uint32_t>(current.height), old, factor);

    // Set first: the programming done by setROI already uses the new factor.
    owner->verticalMode = static_cast<uint16_t>(factor);
    const int result =
        owner->setROI(ROI(static_cast<int>(y), current.x, current.width, static_cast<int>(height)));
    if (result == eeSuccess) {
        owner->publishWord(regfile::kRegionHeight, height);
        owner->publishWord(regfile::kRegionY, y);
        return;
    }

    // The rescaled region was refused: back to the factor the region was made for.
    owner->verticalMode = old;
    owner->sensor.setVerticalMode(old);
}

} // namespace Vistrel
