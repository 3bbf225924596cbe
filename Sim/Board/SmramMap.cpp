#include "Board/SmramMap.h"

#include "Board/MemoryMap.h"

namespace boardsim {

std::vector<SmramDescriptor> SmramMap(const SmmConfig &smm) {
  std::vector<SmramDescriptor> map;
  uint64_t begin = 0;
  for (uint64_t end : smm.smram_split) {
    map.push_back({kSmramBase + begin, end - begin});
    begin = end;
  }
  map.push_back({kSmramBase + begin, smm.smram_size - begin});
  for (const SmramRange &range : smm.smram_ranges)
    map.push_back({range.base, range.size});
  return map;
}

} // namespace boardsim
