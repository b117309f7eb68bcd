#pragma once
// Framework sensor-board base. A plug-in's board derives from it and overrides the
// operations it supports; the base answers the rest.
#include "Tarnis/tcGpio.h"
#include "Vistrel/ROI.h"
#include "Vistrel/teBoardTypes.h"
#include "Vistrel/tcAbstractHandler.h"
#include "Vistrel/tcFrameOutput.h"
#include "Vistrel/tcMutex.h"
#include "Vistrel/tcObserver.h"
#include "Vistrel/tcStatusReporter.h"
#include "Vistrel/tsCameraInfo.h"
#include <map>
#include <string>

namespace Vistrel {

class tcSensorBoard : public tcObserver, public Tarnis::tcGpioListener, public tcStatusReporter {
public:
    // (sensor type, FPGA base, FPGA span, pin count, pin table); the base keeps the pointer.
    tcSensorBoard(int sensorType, unsigned int fpgaBase, unsigned int fpgaSpan, int pinCount,
                  int* pinTable);
    ~tcSensorBoard() override;
    tcSensorBoard(const tcSensorBoard&) = delete;
    tcSensorBoard& operator=(const tcSensorBoard&) = delete;

    // Virtual operations in the framework's table order (the observer's update comes first).
    virtual tcAbstractHandler* getCustomHandlers(tcAbstractHandler* next,
                                                 std::map<std::string, tcAbstractHandler*>* handlers);
    virtual int resetFpga();
    virtual std::string fpgaVersion();
    virtual int GetCameraInfo(tsCameraInfo* info);
    virtual int calibrate();
    virtual int whiteLevelCalibrate();
    virtual int setClockSetting(int mhz);
    virtual int getClockSetting(int& mhz);
    virtual int snap(tsCaptureRequest request);
    virtual int initialize();
    virtual int setExposure(int microseconds);
    virtual int getExposure();
    virtual int getMinFrameIntervalMicroS();
    virtual int setFrameInterval(int microseconds);
    virtual int getFrameInterval();
    virtual int setROI(ROI region);
    virtual ROI getROI();
    virtual ROI getImageROI();
    virtual int setVerticalBin(int bin);
    virtual int getVerticalBin();
    virtual int setHorizontalBin(int bin);
    virtual int getHorizontalBin();
    virtual int setShutterMode(teShutterMode mode);
    virtual int getShutterMode();
    virtual int setBPP(teBPPMode mode);
    virtual int setColor(bool color);
    virtual int setTestPattern(teTestPattern pattern);
    virtual int getTestPattern();
    virtual int setTrigger(teTriggerMode mode);
    virtual int getTrigger();
    virtual int peek(int reg, int* value);
    virtual int poke(int reg, int value);
    virtual int validate();
    virtual bool isCapturing();
    virtual int start();
    virtual int stop();
    virtual std::string getTemperature(int index);
    virtual float getTempCelsius();
    virtual float getBoardTempCelsius();
    virtual std::string getVersion();
    virtual int save(int slot);
    virtual int recall(int slot);
    virtual int setIODirection(int pin, int direction);
    virtual int setIOValue(int pin, int value);
    virtual int setIOInverter(int pin, int inverted);
    virtual int power(bool on);
    virtual int getIODirection();
    virtual int getIOValue();
    virtual int getNumPins();
    virtual int setMirroring(bool horizontal, bool vertical);
    virtual int getMirroring(bool vertical, bool* mirrored);
    // Nine optional framework features; boards without them answer eeNotSupported.
    virtual int setBlackLevel(int level);
    virtual int getBlackLevel(int& level);
    virtual int setAnalogOffset(int offset);
    virtual int getAnalogOffset(int& offset);
    virtual int setLineRate(int hertz);
    virtual int getLineRate(int& hertz);
    virtual int setStrobe(int delayMicroS, int widthMicroS);
    virtual int setDecimation(int factor);
    virtual int setHDRMode(bool on);
    virtual tcStreamer* getStreamer();
    virtual tcTimestamp* getTimestamper();
    virtual void setTimestamper(tcTimestamp* timestamper);
    virtual tcSensorBoard* self();
    void Handler(unsigned int gpio, unsigned int level) override;
    virtual int GetSkipFrames(bool& skip);

protected:
    int sensorType;
    unsigned int fpgaBase;
    unsigned int fpgaSpan;
    int pinCount;
    int* pinTable;        // not owned
    tcMutex mutex;        // recursive robust board mutex
    Tarnis::tcGpio gpio;  // trigger input edge set-up
    tcFrameOutput frameOutput;
    tcTimestamp* timestamper = nullptr;
};

} // namespace Vistrel
