// SPDX-License-Identifier: MIT
#include "platform/clock.h"

#include <sys/time.h>

#include <ctime>

#include "platform/errors.h"
#include "platform/faults.h"

namespace lf::platform {

bool LocalTime(ExifDateTime* now) {
  *now = {};
  if (ShouldFail(Service::Time)) return false;
  timeval tv{};
  ::gettimeofday(&tv, nullptr);
  const time_t seconds = tv.tv_sec;
  std::tm local{};
  if (!::localtime_r(&seconds, &local)) {
    SetLastError(kErrorInvalidData);
    return false;
  }
  now->year = static_cast<uint16_t>(local.tm_year + 1900);
  now->month = static_cast<uint16_t>(local.tm_mon + 1);
  now->dayOfWeek = static_cast<uint16_t>(local.tm_wday);
  now->day = static_cast<uint16_t>(local.tm_mday);
  now->hour = static_cast<uint16_t>(local.tm_hour);
  now->minute = static_cast<uint16_t>(local.tm_min);
  now->second = static_cast<uint16_t>(local.tm_sec > 59 ? 59 : local.tm_sec);
  now->milliseconds = static_cast<uint16_t>(tv.tv_usec / 1000);
  return true;
}

bool IsValidCalendarDateTime(uint32_t year, uint32_t month, uint32_t day, uint32_t hour,
                             uint32_t minute, uint32_t second) {
  if (year < 1 || year > 9999 || month < 1 || month > 12) return false;
  static constexpr uint8_t kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  const uint32_t daysInMonth = kDays[month - 1] + ((month == 2 && leap) ? 1 : 0);
  if (day < 1 || day > daysInMonth) return false;
  return hour <= 23 && minute <= 59 && second <= 59;
}

bool IsValidCalendarDateTime(const ExifDateTime& t) {
  return IsValidCalendarDateTime(t.year, t.month, t.day, t.hour, t.minute, t.second);
}

}  // namespace lf::platform
