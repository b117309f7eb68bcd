// Register access of the 120MXS: the chip cannot be read back, so every write is mirrored
// in a shadow map and all queries are answered from it. The shadow map and the SPI port
// are only touched under registerMutex.
#include "platform/RobustLock.h"
#include "platform/TraceRecord.h"
#include "sensor/SensorRegisterMap.h"
#include "sensor/tc120MXS.h"

#include <iostream>

using namespace sensorregs;

void tc120MXS::writeRegisterUnlocked(unsigned short reg, unsigned int value) {
    // Marker bit, register bits 10..0, value bits 27..0; the first byte goes out first.
    const unsigned int number = reg & kFrameRegisterMask;
    const unsigned int payload = value & kFrameValueMask;
    const unsigned char frame[kFrameBytes] = {
        static_cast<unsigned char>(kFrameMarker | (number >> 4)),
        static_cast<unsigned char>(((number & 0xF) << 4) | (payload >> 24)),
        static_cast<unsigned char>((payload >> 16) & 0xFF),
        static_cast<unsigned char>((payload >> 8) & 0xFF),
        static_cast<unsigned char>(payload & 0xFF),
    };
    // A failed transfer cannot be detected by the chip's protocol; the shadow records the
    // value all the same.
    const int sent = spi.write(frame, kFrameBytes);
    if (record != nullptr)
        record->event("spi_write", "reg=0x%03x val=0x%07x bytes=%u result=%d", number, payload,
                      kFrameBytes, sent);
    shadowRegisters[reg] = value;
}

void tc120MXS::writeRegister(unsigned short reg, unsigned int value) {
    const platform::tcNamedRobustLock lock(registerMutex.getMutex(), registerLock);
    writeRegisterUnlocked(reg, value);
}

int tc120MXS::readShadowRegister(unsigned short reg, unsigned int& value) {
    const platform::tcNamedRobustLock lock(registerMutex.getMutex(), registerLock);
    const auto entry = shadowRegisters.find(reg);
    if (entry == shadowRegisters.end())
        return -1;
    value = entry->second;
    return 0;
}

void tc120MXS::setRegisterField(unsigned short reg, unsigned int value, unsigned int mask,
                                unsigned char shift) {
    bool created = false;
    {
        // Read, modify and write under one lock, so two updates of fields of the same
        // register cannot lose each other's bits.
        const platform::tcNamedRobustLock lock(registerMutex.getMutex(), registerLock);
        const auto [entry, inserted] = shadowRegisters.try_emplace(reg, 0u);
        created = inserted;
        const unsigned int updated = (entry->second & ~(mask << shift)) | ((value & mask) << shift);
        writeRegisterUnlocked(reg, updated);
    }
    if (created)
        std::cerr << "Warning: setRegisterField called but register: " << std::dec << reg
                  << " was not in shadow register";
}

void tc120MXS::setField(const sensorregs::tsField& field, unsigned int value) {
    setRegisterField(field.reg, value, field.mask, field.shift);
}

unsigned int tc120MXS::field(const sensorregs::tsField& field) {
    return getRegisterField(field.reg, field.mask, field.shift);
}

unsigned int tc120MXS::getRegisterField(unsigned short reg, unsigned int mask,
                                        unsigned char shift) {
    bool created = false;
    unsigned int result = 0;
    {
        const platform::tcNamedRobustLock lock(registerMutex.getMutex(), registerLock);
        const auto [entry, inserted] = shadowRegisters.try_emplace(reg, 0u);
        created = inserted;
        result = (entry->second >> shift) & mask;
    }
    if (created)
        std::cerr << "Warning: getRegisterField called but register: " << std::dec << reg
                  << " was not in shadow register";
    return result;
}
