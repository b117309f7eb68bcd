#pragma once
// Settings of the process-wide head for a program that links the sim only as its camera
// framework and never sets the head up itself (camhost-board in a development build).
// They are read from the environment once, when the head is first made:
//   CAMSIM_CLOCK=virtual|real              virtual: delays and timeouts take no real time
//   CAMSIM_SIM="KEY=VALUE ..."             camhost's --sim keys, blank-separated: faults
//   CAMSIM_REGFILE=direct|locked|thread|strict-lock  how the register file delivers notifications
//                                          (over a regfile= key of CAMSIM_SIM)
// The head is then reset with them, so that it has its memory file at once. A program that
// sets the head up itself (camhost, the tests) overrides them by doing so.
namespace sim {

class Head;

namespace detail {
void applyEnvironment(Head& head);
} // namespace detail

} // namespace sim
