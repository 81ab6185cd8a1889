// SPDX-License-Identifier: MIT
// Runs an operation once to count its platform calls, then once per call with that call failing.
#pragma once

#include <cstdint>
#include <functional>

#include <gtest/gtest.h>

#include "platform/faults.h"

namespace lf::test {

struct FaultSteps {
  uint32_t error;
  bool sticky = false;      // the failed call and every later call of that service fail
  bool failClock = false;   // an edit does not depend on the clock; a stamping writer does
  uint32_t services = ~0u;  // the services whose calls fail, a bit each (1u << Service)
};

// The services a full disk refuses: making, writing, copying and flushing files.
inline constexpr uint32_t kDiskServices = 1u << static_cast<int>(platform::Service::Open) |
                                          1u << static_cast<int>(platform::Service::Write) |
                                          1u << static_cast<int>(platform::Service::Copy) |
                                          1u << static_cast<int>(platform::Service::Create) |
                                          1u << static_cast<int>(platform::Service::Flush) |
                                          1u << static_cast<int>(platform::Service::CopyRange);

// `prepare` before each run; `clean` sees the fault-free result, `judge` each faulted one. Returns
// the number of faulted runs.
template <typename Result>
int ForEachFailedStep(const std::function<void()>& prepare, const std::function<Result()>& run,
                      const std::function<void(Result, platform::Service)>& judge, FaultSteps how,
                      const std::function<void(Result)>& clean = {}) {
  using platform::Service;
  prepare();
  platform::ClearFaults();
  const Result first = run();
  uint32_t counts[static_cast<int>(Service::kCount)];
  for (int s = 0; s < static_cast<int>(Service::kCount); ++s) {
    counts[s] = platform::CallCount(static_cast<Service>(s));
  }
  if (clean) clean(first);
  int runs = 0;
  for (int s = 0; s < static_cast<int>(Service::kCount); ++s) {
    const auto service = static_cast<Service>(s);
    if (service == Service::Time && !how.failClock) continue;
    if (!(how.services >> s & 1u)) continue;
    for (uint32_t nth = 1; nth <= counts[s]; ++nth) {
      SCOPED_TRACE(::testing::Message() << "service " << s << " call " << nth);
      prepare();
      platform::ClearFaults();
      platform::InjectFault(service, nth, how.error, how.sticky);
      const Result r = run();
      platform::ClearFaults();
      judge(r, service);
      ++runs;
    }
  }
  return runs;
}

template <typename Result>
int ForEachFailedStep(const std::function<void()>& prepare, const std::function<Result()>& run,
                      const std::function<void(Result)>& judge, uint32_t error) {
  return ForEachFailedStep<Result>(
      prepare, run, [&](Result r, platform::Service) { judge(r); }, FaultSteps{error});
}

}  // namespace lf::test
