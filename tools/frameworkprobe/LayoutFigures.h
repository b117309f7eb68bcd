#pragma once
// The sizes and member offsets of framework types the plug-in was compiled with: the types it
// allocates itself (members and bases of its board, locals) and the members it reaches by
// offset. Each row: a name, the figure as this translation unit's headers give it, and the
// plug-in's figure on 32-bit ARM (the board) and on x86-64 (development machines).
// LayoutAsserts.cpp checks the rows at compile time; frameworkprobe prints them.
#include "Tarnis/tcADS7828.h"
#include "Tarnis/tcGpio.h"
#include "Vistrel/INIReader.h"
#include "Vistrel/ROI.h"
#include "Vistrel/tcAbstractHandler.h"
#include "Vistrel/tcClockHandler.h"
#include "Vistrel/tcMultipleROISensor.h"
#include "Vistrel/tcMutex.h"
#include "Vistrel/tcObserver.h"
#include "Vistrel/tcRegisterFile.h"
#include "Vistrel/tcSensorBoard.h"
#include "Vistrel/tcStringTokenizer.h"
#include "Vistrel/tsCameraInfo.h"
#include "Vistrel/tsUpdate.h"
#include "fpgacores/tcBadPixelReplacement.h"
#include "fpgacores/tcPixelShift.h"
#include "fpgacores/tcPwm.h"
#include "tcSPIDevice.h"

#include <cstddef>

// offsetof on classes with virtual functions or mixed access is conditionally supported;
// GCC and Clang give the layout the compiler uses, which is the figure wanted here. The
// rows expand where they are used, so the warning is off for every file that includes this.
#pragma GCC diagnostic ignored "-Winvalid-offsetof"

namespace frameworkprobe::layout {

// Protected members are named through a derived class.
struct BoardMembers : Vistrel::tcSensorBoard {
    static constexpr std::size_t mutexAt() { return offsetof(BoardMembers, mutex); }
    static constexpr std::size_t gpioAt() { return offsetof(BoardMembers, gpio); }
    static constexpr std::size_t pinTableAt() { return offsetof(BoardMembers, pinTable); }
    static constexpr std::size_t frameOutputAt() { return offsetof(BoardMembers, frameOutput); }
};
struct RegionMembers : Vistrel::tcMultipleROISensor {
    static constexpr std::size_t maxRegionsAt() { return offsetof(RegionMembers, maxRegions); }
};
struct HandlerMembers : Vistrel::tcAbstractHandler {
    static constexpr std::size_t boardAt() { return offsetof(HandlerMembers, board); }
    static constexpr std::size_t nextAt() { return offsetof(HandlerMembers, next); }
};

constexpr bool kBoardAbi = sizeof(void*) == 4;

// X(name, figure from these headers, plug-in's figure on armhf, plug-in's figure on x86-64)
#define FRAMEWORKPROBE_LAYOUT(X)                                                                   \
    X("sizeof Vistrel::tcSensorBoard", sizeof(Vistrel::tcSensorBoard), 68, 112)                    \
    X("offsetof tcSensorBoard::mutex", BoardMembers::mutexAt(), 32, 48)                            \
    X("offsetof tcSensorBoard::gpio", BoardMembers::gpioAt(), 56, 88)                              \
    X("offsetof tcSensorBoard::pinTable", BoardMembers::pinTableAt(), 28, 40)                      \
    X("offsetof tcSensorBoard::frameOutput", BoardMembers::frameOutputAt(), 60, 96)                \
    X("sizeof Vistrel::tcMultipleROISensor", sizeof(Vistrel::tcMultipleROISensor), 20, 40)         \
    X("offsetof tcMultipleROISensor::maxRegions", RegionMembers::maxRegionsAt(), 4, 8)             \
    X("sizeof Vistrel::tcMutex", sizeof(Vistrel::tcMutex), 24, 40)                                 \
    X("sizeof Vistrel::tcObservable", sizeof(Vistrel::tcObservable), 36, 64)                       \
    X("offsetof tcRegisterFile::observable", offsetof(Vistrel::tcRegisterFile, observable), 0, 0)  \
    X("sizeof Vistrel::tsUpdate", sizeof(Vistrel::tsUpdate), 16, 16)                               \
    X("offsetof tsUpdate::kind", offsetof(Vistrel::tsUpdate, kind), 0, 0)                          \
    X("offsetof tsUpdate::address", offsetof(Vistrel::tsUpdate, address), 4, 4)                    \
    X("offsetof tsUpdate::handled", offsetof(Vistrel::tsUpdate, handled), 8, 8)                    \
    X("offsetof tsUpdate::value", offsetof(Vistrel::tsUpdate, value), 12, 12)                      \
    X("sizeof Vistrel::tcAbstractHandler", sizeof(Vistrel::tcAbstractHandler), 12, 24)             \
    X("offsetof tcAbstractHandler::board", HandlerMembers::boardAt(), 4, 8)                        \
    X("offsetof tcAbstractHandler::next", HandlerMembers::nextAt(), 8, 16)                         \
    X("sizeof Vistrel::tcClockHandler", sizeof(Vistrel::tcClockHandler), 12, 24)                   \
    X("sizeof Vistrel::ROI", sizeof(Vistrel::ROI), 16, 16)                                         \
    X("sizeof Vistrel::tsCameraInfo", sizeof(Vistrel::tsCameraInfo), 128, 128)                     \
    X("sizeof Vistrel::INIReader", sizeof(Vistrel::INIReader), 28, 56)                             \
    X("sizeof Vistrel::tcStringTokenizer", sizeof(Vistrel::tcStringTokenizer), 32, 48)             \
    X("sizeof tsSPIConfiguration", sizeof(tsSPIConfiguration), 12, 12)                             \
    X("offsetof tsSPIConfiguration::mode", offsetof(tsSPIConfiguration, mode), 0, 0)               \
    X("offsetof tsSPIConfiguration::lsbFirst", offsetof(tsSPIConfiguration, lsbFirst), 1, 1)       \
    X("offsetof tsSPIConfiguration::bitsPerWord", offsetof(tsSPIConfiguration, bitsPerWord), 2, 2) \
    X("offsetof tsSPIConfiguration::speedHz", offsetof(tsSPIConfiguration, speedHz), 4, 4)         \
    X("offsetof tsSPIConfiguration::delayUsecs", offsetof(tsSPIConfiguration, delayUsecs), 8, 8)   \
    X("sizeof tcSPIDevice", sizeof(tcSPIDevice), 40, 48)                                           \
    X("sizeof tcPwm", sizeof(tcPwm), 40, 48)                                                       \
    X("sizeof tcPixelShift", sizeof(tcPixelShift), 4, 4)                                           \
    X("sizeof tcBadPixelReplacement", sizeof(tcBadPixelReplacement), 32, 32)                       \
    X("sizeof Tarnis::tcGpioSingle", sizeof(Tarnis::tcGpioSingle), 4, 4)                           \
    X("sizeof Tarnis::tcADS7828", sizeof(Tarnis::tcADS7828), 12, 12)

} // namespace frameworkprobe::layout
