#pragma once
// Reaches a private data member of a class the tests cannot befriend (the FPGA object's
// clock, which no head knob can set): an explicit template instantiation may name a
// private member, and the friend function it defines hands out the member pointer. A tag
// in this namespace declares that friend so that it is found through the tag; one
// instantiation per tag:
//   namespace privatemember {
//   struct FpgaClock {
//       using type = float tc120MXSFpga::*;
//       friend type memberOf(FpgaClock);
//   };
//   template struct Grant<FpgaClock, &tc120MXSFpga::clockMhz>;
//   }
//   fpga.*memberOf(privatemember::FpgaClock{}) = 45.5f;
namespace privatemember {

template <typename Tag, typename Tag::type Member> struct Grant {
    friend typename Tag::type memberOf(Tag) { return Member; }
};

} // namespace privatemember
