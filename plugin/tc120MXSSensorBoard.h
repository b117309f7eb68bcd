#pragma once
// The board object the camera framework drives: owns the FPGA, the image sensor and the
// register-file observer, and answers the framework's board interface.
//
// Threads, locks and their order, what the board needs of the framework's threads, and the
// capture states: docs/concurrency.md.
#include "Vistrel/tcMultipleROISensor.h"
#include "Vistrel/tcObserver.h"
#include "Vistrel/tcSensorBoard.h"
#include "fpga/tc120MXSFpga.h"
#include "platform/ThreadAnnotations.h"
#include "platform/TraceRecord.h"
#include "plugin/BoardTurns.h"
#include "plugin/DeferredNotifications.h"
#include "plugin/RegFileOutbox.h"
#include "plugin/StartupSettings.h"
#include "sensor/FullFrame.h"
#include "sensor/tc120MXS.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace Vistrel {

class tc120MXSSensorBoard : public tcSensorBoard, public tcMultipleROISensor {
public:
    explicit tc120MXSSensorBoard(const std::string& path);
    ~tc120MXSSensorBoard() override;
    // How long the destructor lets the board's threads apply and send their last words
    // before it stops listening to the register file.
    static constexpr std::chrono::milliseconds kMostToSettleAtClose{100};

    // Board view, in table order.
    tcAbstractHandler*
    getCustomHandlers(tcAbstractHandler* next,
                      std::map<std::string, tcAbstractHandler*>* handlers) override;
    int resetFpga() override;
    int GetCameraInfo(tsCameraInfo* info) override;
    int setClockSetting(int mhz) override;
    int getClockSetting(int& mhz) override;
    int initialize() override;
    int setExposure(int microseconds) override;
    int getExposure() override;
    int getMinFrameIntervalMicroS() override;
    int setFrameInterval(int microseconds) override;
    int getFrameInterval() override;
    int setROI(ROI region) override;
    ROI getROI() override;
    ROI getImageROI() override;
    int setVerticalBin(int bin) override;
    int getVerticalBin() override;
    int setHorizontalBin(int bin) override;
    int getHorizontalBin() override;
    int setShutterMode(teShutterMode mode) override;
    int getShutterMode() override;
    int setBPP(teBPPMode mode) override;
    int setColor(bool color) override;
    int setTestPattern(teTestPattern pattern) override;
    int getTestPattern() override;
    int setTrigger(teTriggerMode mode) override EXCLUDES(captureMutex);
    int getTrigger() override;
    int peek(int reg, int* value) override;
    int poke(int reg, int value) override;
    int validate() override;
    bool isCapturing() override;
    int start() override EXCLUDES(captureMutex);
    int stop() override EXCLUDES(captureMutex);
    std::string getTemperature(int index) override;
    std::string getVersion() override;
    int save(int slot) override;
    int recall(int slot) override;
    int power(bool on) override;
    int setMirroring(bool horizontal, bool vertical) override;
    int getMirroring(bool vertical, bool* mirrored) override;
    int setBlackLevel(int level) override;
    int getBlackLevel(int& level) override;
    int setAnalogOffset(int offset) override;
    int getAnalogOffset(int& offset) override;
    int setLineRate(int hertz) override;
    int getLineRate(int& hertz) override;
    int setStrobe(int delayMicroS, int widthMicroS) override;
    int setDecimation(int factor) override;
    int setHDRMode(bool on) override;
    void Handler(unsigned int gpio, unsigned int level) override
        EXCLUDES(captureMutex, triggeredFrameMutex);
    int GetSkipFrames(bool& skip) override;
    // Multiple-ROI view.
    int programMultipleROI() override;

    // Reacts to register-file writes of the vertical line factor, gain and bias words.
    class tcRegFileObs : public tcObserver {
    public:
        explicit tcRegFileObs(tc120MXSSensorBoard* owner) : owner(owner) {}
        ~tcRegFileObs() override = default;
        void update(tsUpdate& update) override;
        friend class tc120MXSSensorBoard;
        friend class BoardTestAccess;

    private:
        // How long a notification waits for the board mutex before it leaves its word to
        // the board's own thread (after stepping aside for a waiting host call).
        static constexpr std::chrono::microseconds kMostWait{2000};
        std::atomic<std::chrono::microseconds> mostWait{kMostWait}; // tests may lengthen it
        // The effect of one of the board's words on the hardware.
        void apply(const tcDeferredNotifications::tsWord& word) REQUIRES(owner->boardMutex);
        // On the notifying thread, after stepping aside; on the board's own thread, without.
        bool applyWithin(const tcDeferredNotifications::tsWord& word,
                         std::chrono::microseconds within, bool stepAside);
        void changeVerticalFactor(uint32_t factor) REQUIRES(owner->boardMutex);
        // A refused word goes back to the value in effect, so that it describes the hardware.
        void putBack(uint32_t address, uint32_t inEffect, bool (*acceptable)(uint32_t))
            REQUIRES(owner->boardMutex);
        tc120MXSSensorBoard* owner; // not owned
    };

private:
    // Test-only view of the board's parts (defined by the plug-in test suite).
    friend class BoardTestAccess;

    // Lets the framework's notifications finish before the board goes away.
    class tcLifetimeGate {
    public:
        // False once the board is being destroyed: the caller must not touch it.
        bool enter() EXCLUDES(mutex);
        void leave() EXCLUDES(mutex);
        // Refuses new entries and waits until nothing is inside. Never called from inside
        // the board (docs/concurrency.md: the board is not deleted from its own calls).
        void closeAndWait() EXCLUDES(mutex);

        // One entry, left when it goes out of scope; false when the gate was closed.
        class tcPass {
        public:
            explicit tcPass(tcLifetimeGate& gate) : gate(gate), entered(gate.enter()) {}
            ~tcPass() {
                if (entered)
                    gate.leave();
            }
            tcPass(const tcPass&) = delete;
            tcPass& operator=(const tcPass&) = delete;
            explicit operator bool() const { return entered; }

        private:
            tcLifetimeGate& gate;
            const bool entered;
        };

    private:
        platform::tcMutexLock mutex; // a leaf
        std::condition_variable idle;
        unsigned inside GUARDED_BY(mutex) = 0;
        bool closed GUARDED_BY(mutex) = false;
    };

    // The board mutex for one operation, the one way the board takes it, getters included.
    // Register-file words published inside it leave the board when the outermost scope
    // ends: queued in the outbox while the mutex is held (so their order is the board's),
    // then sent by this thread after the mutex was released, or, inside a register-file
    // notification, left to the outbox's publishing thread (see RegFileOutbox.h).
    class SCOPED_CAPABILITY tcBoardScope {
    public:
        explicit tcBoardScope(tc120MXSSensorBoard& board) ACQUIRE(board.boardMutex);
        // A notification's scope (stepping aside first if asked): waits at most within for
        // the board mutex, and holds nothing when held() is false. The analysis cannot
        // follow a lock that may fail: such a scope touches nothing of the board's unless
        // held().
        tcBoardScope(tc120MXSSensorBoard& board, std::chrono::microseconds within, bool stepAside)
            ACQUIRE(board.boardMutex);
        ~tcBoardScope() RELEASE();
        bool held() const { return lock.acquired(); }
        tcBoardScope(const tcBoardScope&) = delete;
        tcBoardScope& operator=(const tcBoardScope&) = delete;

    private:
        tc120MXSSensorBoard& board;
        tcBoardTurns::tcLock lock;
    };

    // Marks this thread as inside a register-file notification for a scope: words the
    // board publishes meanwhile must not be sent from it.
    class tcInNotification {
    public:
        tcInNotification();
        ~tcInNotification();
        tcInNotification(const tcInNotification&) = delete;
        tcInNotification& operator=(const tcInNotification&) = delete;
        static bool active();
    };

    // Bring-up phases, in the order initialize() runs them. A phase that answers an int
    // answers 0 or the fault that stops the bring-up.
    void registerWithRegisterFile();
    int bringUpFpga(const tsStartupSettings& settings);
    int powerUpSensor() REQUIRES(boardMutex);
    void applyStartupTiming(const tsStartupSettings& settings);
    void applyStartupRegion(const tsStartupSettings& settings);
    int trainReceiver();
    void loadBadPixelMap();
    void applyStartupPipeline() REQUIRES(boardMutex);
    // Bias subtraction as the client sets it, applied to the receiver unless a pattern shows.
    uint32_t clientBiasSubtract() REQUIRES(boardMutex);
    void setClientBiasSubtract(uint32_t word) REQUIRES(boardMutex);

    // A new pulse period starts at the next pulse. Until then a frame runs at the old,
    // shorter period, and a start line for the longer one would fall past its end.
    void awaitLongerPulsePeriod(int64_t oldIntervalUs) REQUIRES(boardMutex);
    // Margin on the waits for a pulse due within a frame interval.
    static constexpr std::chrono::microseconds kPulseWaitMargin{100};

    // The image the framework's region list describes: the region, or the list's regions
    // stacked.
    ROI imageOfRegions() REQUIRES(boardMutex);

    // Gives the sensor an exposure and publishes the one it took.
    teNackCode applyExposure(int64_t exposureUs) REQUIRES(boardMutex);

    // Queues a register-file word for the end of the outermost board scope.
    void publishWord(uint32_t address, uint32_t value) REQUIRES(boardMutex);

    // The framework's board mutex (tcSensorBoard::mutex) as the analysis names it: a
    // tcBoardScope takes the one and acquires the other. First in the board's lock order.
    platform::tcLockName boardMutex;

protected:
    // The boundary record, when TC120MXS_TRACE asks for one: made before the parts, which
    // write into it, and destroyed after them. Null when recording is off.
    const std::unique_ptr<platform::tcTraceRecord> record =
        platform::tcTraceRecord::fromEnvironment();

private:
    tc120MXSFpga fpga;
    tc120MXS sensor;
    int64_t exposure GUARDED_BY(boardMutex) = 0; // µs, as read back from the sensor
    // µs, as last programmed. Written under the board mutex; read without it by a
    // triggered frame in Handler, which must not wait for the board mutex while it holds
    // triggeredFrameMutex.
    std::atomic<int64_t> frameInterval{0};
    // Read by Handler on the framework's notification thread.
    std::atomic<teTriggerMode> triggerMode{eeFreeRunning};
    teTestPattern testPattern GUARDED_BY(boardMutex) = eeTestPatternOff;
    uint16_t verticalMode GUARDED_BY(boardMutex) = 1;
    // 0 when idle, else the number of the running capture: a trigger acts only on the
    // capture during which it arrived.
    std::atomic<uint32_t> capturing{0};
    // From start() setting the pulses up until stop() has stopped them: the sensor may be
    // reading a frame out, and a change of its readout would tear that frame. Wider than
    // capturing, which start() sets last and stop() clears first.
    std::atomic<bool> pulsesMayRun{false};
    bool readoutMayRun() { return isCapturing() || pulsesMayRun.load(); }
    // From a power-up that loaded the sensor's registers on: before it, settings would go
    // to a chip held in reset and cores nobody asked about, so they are refused.
    std::atomic<bool> sensorReady{false};
    // From the FPGA's cores reporting themselves usable on: the library's cores must not be
    // used before they said so.
    std::atomic<bool> fpgaReady{false};
    // From the receiver's last training locking and aligning on: before, no frame would
    // arrive, and a capture must not be reported as running.
    std::atomic<bool> receiverReady{false};
    ROI roi GUARDED_BY(boardMutex);
    // The image the receiver was last programmed to cut out; none before the first region.
    std::optional<ROI> imageInEffect GUARDED_BY(boardMutex);
    // The bias-subtract word as the client last set it. The receiver holds it while no
    // test pattern shows and 0 while one does.
    uint32_t biasSubtract GUARDED_BY(boardMutex) = 0;
    tcRegFileObs regFileObs;
    // Set by initialize(), read by the destructor: the framework makes neither call while
    // another of its calls runs on the board.
    bool observerRegistered = false;
    // Serialises start(), stop(), setTrigger() and a triggered frame in Handler. It is not
    // fair: a Handler that waited on it checks that its capture still runs. Taken after the
    // board mutex: start(), stop() and setTrigger() take the board mutex first, as a
    // framework that holds it around its calls does; Handler never takes the board mutex.
    platform::tcMutexLock captureMutex ACQUIRED_AFTER(boardMutex);
    uint32_t lastCaptureRun GUARDED_BY(captureMutex) = 0;
    // Held by Handler while the pulse generator runs one triggered frame, and by a frame
    // interval that grows during a triggered capture: the longer interval reaches the
    // sensor between triggered frames, never in one. Taken after the board mutex and after
    // captureMutex, and nothing is taken while it is held.
    platform::tcMutexLock triggeredFrameMutex ACQUIRED_AFTER(boardMutex, captureMutex);
    int boardScopeDepth GUARDED_BY(boardMutex) = 0;
    std::vector<tcRegFileOutbox::tsTicket> pendingWords GUARDED_BY(boardMutex);
    tcBoardTurns turns;
    // Shared with its publishing thread, which may end after the board.
    std::shared_ptr<tcRegFileOutbox> outbox = std::make_shared<tcRegFileOutbox>();
    // Words whose notification could not wait for the board mutex (RegFileObserver.cpp).
    std::shared_ptr<tcDeferredNotifications> deferred = std::make_shared<tcDeferredNotifications>(
        [this](const tcDeferredNotifications::tsWord& word, std::chrono::microseconds within) {
            return regFileObs.applyWithin(word, within, false);
        });
    tcLifetimeGate lifetime;
};

} // namespace Vistrel
