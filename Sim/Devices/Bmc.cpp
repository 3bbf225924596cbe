#include "Devices/Bmc.h"

#include "Core/Simulator.h"
#include "Devices/DeviceStatus.h"

#include <algorithm>

namespace boardsim {
namespace {

constexpr uint8_t kCompletionOk = 0x00;
constexpr uint8_t kCompletionNodeBusy = 0xC0;
constexpr uint8_t kBusyResponseSize = 2;

// Places a response of `size` bytes, as far as the caller's capacity reaches; returns its length.
uint8_t PutResponse(uint8_t completion, uint32_t size, uint8_t *response, uint8_t capacity) {
  const uint8_t length = static_cast<uint8_t>(std::min<uint32_t>(size, capacity));
  if (response != nullptr) {
    std::fill(response, response + length, 0);
    if (length > 0)
      response[0] = completion;
  }
  return length;
}

} // namespace

Bmc::Bmc(Simulator &sim, const BmcConfig &config) : sim_(sim), config_(config) {}

bool Bmc::Ready() const {
  return config_.ready_after && unanswered_ >= *config_.ready_after;
}

Status Bmc::Send(uint8_t netFn, uint8_t lun, uint8_t command, const uint8_t *request,
                 uint32_t requestSize, uint8_t *response, uint8_t &responseSize) {
  const uint8_t sizeIn = responseSize;
  Status status = kDeviceSuccess;
  if (Ready()) {
    responseSize = PutResponse(kCompletionOk, config_.response_size, response, sizeIn);
  } else {
    if (config_.ready_after)
      ++unanswered_;
    if (config_.not_ready == BmcNotReady::Size2) {
      // The size is the busy answer's own, even when less of it fitted.
      PutResponse(kCompletionNodeBusy, kBusyResponseSize, response, sizeIn);
      responseSize = kBusyResponseSize;
    } else {
      status = kDeviceError;
    }
  }
  sim_.Emit("ipmi", [&](Json &e) {
    e["netfn"] = netFn;
    e["lun"] = lun;
    e["command"] = command;
    e["request"] = request ? HexBytes(request, requestSize) : "";
    e["size_in"] = sizeIn;
    e["status"] = StatusName(status);
    e["size_out"] = responseSize;
  });
  return status;
}

} // namespace boardsim
