// The SMM side of the platform: SMRAM and its pool, the SMM system table and protocol database,
// the SMM base/access/communication protocols in the boot-services database, the SMI dispatch
// protocols, the HOB list, and the S3 save table the platform builds and hands over.
#pragma once
#include "Board/Board.h"
#include "Core/Status.h"
#include "Core/Trace.h"

#include <memory>
#include <string>

namespace boardsim {

class Simulator;
class ProtocolDatabase;
struct ImageInstance;

class SmmCore {
public:
  explicit SmmCore(Simulator &sim);
  ~SmmCore();

  // Installs the boot-services protocols and configuration tables that exist from the start.
  void Start();
  // Boot-script steps.
  void Dispatch(ImageInstance &image);
  void BuildS3Table(const S3TableParams &params);
  void RaiseSmi(const std::string &source);
  // s3_record, s3_table, heap_list.
  void FillFinal(Json &final) const;

  ProtocolDatabase &protocols();
  // Called by the pools just before they free a block (the S3 table's end mark is read then).
  void NoteFree(const void *block);
  // The receiving side of EFI_SMM_COMMUNICATION_PROTOCOL.
  Status Communicate(void *buffer, uint64_t *size);

  struct State;
  State &state() { return *state_; }

private:
  Simulator &sim_;
  std::unique_ptr<State> state_;
};

} // namespace boardsim
