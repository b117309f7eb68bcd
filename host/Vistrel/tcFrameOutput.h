#pragma once
// The board base's frame-output object. What the four operations mean belongs to the
// framework; the board only issues them with fixed values.

namespace Vistrel {

class tcFrameOutput {
public:
    virtual ~tcFrameOutput();
    virtual void P(int value);
    virtual void R(int value);
    virtual int Q();
    virtual void S(int value);
};

} // namespace Vistrel
