// The current unit's ribbon (donor) manager and the current feed pinch
// roller, as far as the background drive steps use them.
#pragma once

#include <cstdint>

class CDonorMng {
 public:
  constexpr CDonorMng() = default;
  // One step of the manager's pending background operation: 1 while it is
  // still running, any other value once it has ended.
  virtual int32_t BackgroundStep();

 protected:
  ~CDonorMng() = default;
};

class CProllFeed {
 public:
  constexpr CProllFeed() = default;
  // One step of the roller's pending operation; *pulDone becomes 1 once it
  // has ended. Non-zero on a failure.
  virtual int32_t Step(uint32_t* pulDone);

 protected:
  ~CProllFeed() = default;
};

extern CDonorMng* g_pDonorMng;
extern CProllFeed* g_pProllFeed;
