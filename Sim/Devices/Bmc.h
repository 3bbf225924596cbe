// The BMC as BMC_TRANSPORT_PPI reaches it: each request either finds the BMC ready, which
// answers with completion code 0x00 and `response_size` bytes (no more than the caller has room
// for), or finds it not ready. The BMC becomes ready after `ready_after` requests that were not
// answered, or never.
//
// A not-ready request ends as `not_ready` says. With "error" the transport times out waiting for
// the BMC and returns EFI_DEVICE_ERROR without having received anything, so it leaves the
// response bytes and the response size as the caller passed them, as a KCS transport that
// fails before the read phase does. With "size2" it returns EFI_SUCCESS and a response size of 2:
// completion code 0xC0 (node busy, IPMI 2.0 table 5-2) and one data byte 0, as much of them as
// fits.
#pragma once
#include "Board/Board.h"
#include "Core/Status.h"

#include <cstdint>

namespace boardsim {

class Simulator;

class Bmc {
public:
  Bmc(Simulator &sim, const BmcConfig &config);

  Status Send(uint8_t netFn, uint8_t lun, uint8_t command, const uint8_t *request,
              uint32_t requestSize, uint8_t *response, uint8_t &responseSize);

private:
  bool Ready() const;

  Simulator &sim_;
  BmcConfig config_;
  uint32_t unanswered_ = 0;
};

} // namespace boardsim
