// The two buffers a boot-script `call` step hands to the member it calls: the given bytes (none
// for ""), or a default number of 0xAA bytes, or NULL, in platform memory below 4 GiB, each
// followed by guard bytes that show a write past its end.
#pragma once
#include "Board/Board.h"
#include "Core/Trace.h"

#include <cstdint>
#include <string>

namespace boardsim {

class Simulator;

class CallBuffers {
public:
  CallBuffers(Simulator &sim, const BootStep &step, uint32_t defaultSize);
  uint8_t *first() const { return first_; }
  uint8_t *second() const { return second_; }
  // A `fault` event for each buffer the member wrote past the end of.
  void CheckGuards(Simulator &sim, const std::string &target) const;
  // buffer1 / buffer2 of the `return` event: their bytes after the call, or null.
  void Report(Json &event) const;

private:
  uint8_t *first_, *second_;
  size_t firstSize_, secondSize_;
};

} // namespace boardsim
