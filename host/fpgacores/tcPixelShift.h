#pragma once
// FPGA-core library: pixel-shift core (bit alignment of output pixels).

class tcPixelShift {
public:
    enum teShiftDirection { eeShiftLeft = 0, eeShiftRight = 1 };

    explicit tcPixelShift(unsigned int base);
    ~tcPixelShift();
    tcPixelShift(const tcPixelShift&) = delete;
    tcPixelShift& operator=(const tcPixelShift&) = delete;

    bool initialized() const;
    void reset(bool reset);
    void setShift(teShiftDirection direction, unsigned char bits);

private:
    [[maybe_unused]] unsigned int base; // physical address of the core
};
