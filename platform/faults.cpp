// SPDX-License-Identifier: MIT
#include "platform/faults.h"

#include <array>
#include <atomic>

#include "platform/errors.h"

namespace lf::platform {

namespace {

struct FaultPlan {
  std::atomic<uint32_t> calls{0};
  std::atomic<uint32_t> failAt{0};  // 0 = no fault planned
  std::atomic<uint32_t> error{0};
  std::atomic<bool> sticky{false};
};

std::array<FaultPlan, static_cast<size_t>(Service::kCount)> g_plans;
// Fast path: no plan is armed, so ShouldFail only counts.
std::atomic<bool> g_armed{false};

FaultPlan& PlanFor(Service s) { return g_plans[static_cast<size_t>(s)]; }

}  // namespace

void InjectFault(Service service, uint32_t nth, uint32_t win32Error, bool sticky) {
  FaultPlan& plan = PlanFor(service);
  plan.failAt = plan.calls + (nth == 0 ? 1 : nth);
  plan.error = win32Error;
  plan.sticky = sticky;
  g_armed = true;
}

void ClearFaults() {
  for (FaultPlan& plan : g_plans) {
    plan.calls = 0;
    plan.failAt = 0;
    plan.error = 0;
    plan.sticky = false;
  }
  g_armed = false;
}

uint32_t CallCount(Service service) { return PlanFor(service).calls; }

bool ShouldFail(Service service) {
  FaultPlan& plan = PlanFor(service);
  const uint32_t call = ++plan.calls;
  if (!g_armed) return false;
  const uint32_t failAt = plan.failAt;
  if (failAt == 0) return false;
  if (call == failAt || (plan.sticky && call > failAt)) {
    SetLastError(plan.error);
    return true;
  }
  return false;
}

}  // namespace lf::platform
