// Failing every step of an operation in turn through the platform's fault seam: the operation runs
// once to count how often it calls each service, then once for each of those calls with that one
// call failing, so that a test can prove that no failure anywhere damages the user's files.
#pragma once

#include <cstdint>
#include <functional>

#include <gtest/gtest.h>

#include "platform/faults.h"

namespace lf::test {

// `prepare` puts the files in place before each run; `run` performs the operation and returns its
// result; `judge` checks the files after a run in which call `nth` of `service` failed with
// `error`. The clock is not failed: an edit does not depend on it.
template <typename Result>
void ForEachFailedStep(const std::function<void()>& prepare, const std::function<Result()>& run,
                       const std::function<void(Result)>& judge, uint32_t error) {
  using platform::Service;
  prepare();
  platform::ClearFaults();
  run();
  uint32_t counts[static_cast<int>(Service::kCount)];
  for (int s = 0; s < static_cast<int>(Service::kCount); ++s) {
    counts[s] = platform::CallCount(static_cast<Service>(s));
  }
  for (int s = 0; s < static_cast<int>(Service::kCount); ++s) {
    if (static_cast<Service>(s) == Service::Time) continue;
    for (uint32_t nth = 1; nth <= counts[s]; ++nth) {
      SCOPED_TRACE(::testing::Message() << "service " << s << " call " << nth);
      prepare();
      platform::ClearFaults();
      platform::InjectFault(static_cast<Service>(s), nth, error);
      const Result r = run();
      platform::ClearFaults();
      judge(r);
    }
  }
}

}  // namespace lf::test
