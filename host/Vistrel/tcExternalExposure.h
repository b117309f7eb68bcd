#pragma once
// Optional board interface: external exposure control.

namespace Vistrel {

class tcExternalExposure {
public:
    virtual ~tcExternalExposure();
    virtual void setExternalExposure(bool on) = 0;
    virtual bool getExternalExposure() = 0;
};

} // namespace Vistrel
