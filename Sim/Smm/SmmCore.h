// The SMM side of the platform: SMRAM and its pool, the SMM system table and protocol database,
// the SMM base/access/communication protocols in the boot-services database, the SMI dispatch
// protocols, the HOB list, and the S3 save table the platform builds and hands over.
#pragma once
#include "Board/Board.h"
#include "Core/Trace.h"

#include <memory>
#include <string>

namespace boardsim {

class Simulator;
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

private:
  struct State;
  std::unique_ptr<State> state_;
};

} // namespace boardsim
