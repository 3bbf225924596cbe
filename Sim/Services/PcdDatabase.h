// The platform's dynamic PCD database, shared by PCD_PPI in PEI and PCD_PROTOCOL in DXE and SMM,
// so values written in one phase are read in the next.
#pragma once
#include "Board/Board.h"
#include "Core/Trace.h"

#include <cstdint>
#include <map>

namespace boardsim {

class Simulator;

class PcdDatabase {
public:
  PcdDatabase(Simulator &sim, const BoardPcd &initial);

  // Traced accesses by token number; widths in bits.
  uint64_t Get(uint64_t token, unsigned width);
  void Set(uint64_t token, unsigned width, uint64_t value);
  // Untraced access for the platform itself.
  uint64_t Peek(uint64_t token) const;
  void Poke(uint64_t token, uint64_t value);

  // token (decimal string) -> value, for every token ever set or given.
  Json Final() const;

private:
  unsigned WidthOf(uint64_t token, unsigned accessWidth);
  Simulator &sim_;
  std::map<uint64_t, uint64_t> values_;
  // Widths of the tokens the platform table does not list, as their first access set them.
  std::map<uint64_t, unsigned> unlistedWidths_;
};

} // namespace boardsim
