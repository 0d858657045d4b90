// Dates and times.
#include <time.h>

#include <cmath>

#include "platform/rtl/sysutils.h"

namespace {

constexpr int64_t kMSecsPerDay = 86400000;
constexpr int64_t kUnixEpochDay = 25569;  // 1970-01-01 as a TDateTime
// The date and time formats of this system: ISO dates, 24-hour times.
constexpr char kDateSeparator = '-';
constexpr char kTimeSeparator = ':';
constexpr std::string_view kShortDateFormat = "yyyy/mm/dd";
constexpr std::string_view kLongDateFormat = "yyyy/mm/dd";
constexpr std::string_view kShortTimeFormat = "hh:nn";
constexpr std::string_view kLongTimeFormat = "hh:nn:ss";
constexpr const char* kShortDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kLongDays[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
constexpr const char* kShortMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr const char* kLongMonths[] = {"January", "February", "March",     "April",   "May",      "June",
                                       "July",    "August",   "September", "October", "November", "December"};

// Days since 1970-01-01 of a proleptic Gregorian date.
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int64_t& y, unsigned& m, unsigned& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  y = static_cast<int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y += m <= 2;
}

unsigned DaysInMonth(unsigned year, unsigned month) {
  static constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(static_cast<Word>(year)) ? 29 : kDays[month - 1];
}

// Splits a TDateTime into whole days (the date) and milliseconds of that day.
void Split(TDateTime v, int64_t& days, int64_t& msecs) {
  if (!std::isfinite(v) || std::fabs(v) > 3e6) throw EConvertError("Invalid date/time value");
  const double whole = std::trunc(v);
  days = static_cast<int64_t>(whole);
  msecs = std::llround(std::fabs(v - whole) * double(kMSecsPerDay));
  if (msecs >= kMSecsPerDay) {
    msecs -= kMSecsPerDay;
    ++days;
  }
}

std::string Padded(int64_t v, size_t width) {
  std::string s = std::to_string(v);
  if (s.size() < width) s.insert(0, width - s.size(), '0');
  return s;
}

void AppendFormatted(std::string& out, std::string_view picture, TDateTime value, int depth);

}  // namespace

bool IsLeapYear(Word Year) { return Year % 4 == 0 && (Year % 100 != 0 || Year % 400 == 0); }

bool TryEncodeDate(Word Year, Word Month, Word Day, TDateTime& Date) {
  if (Year < 1 || Year > 9999 || Month < 1 || Month > 12 || Day < 1 || Day > DaysInMonth(Year, Month))
    return false;
  Date = static_cast<double>(DaysFromCivil(Year, Month, Day) + kUnixEpochDay);
  return true;
}

bool TryEncodeTime(Word Hour, Word Min, Word Sec, Word MSec, TDateTime& Time) {
  if (Hour >= 24 || Min >= 60 || Sec >= 60 || MSec >= 1000) return false;
  Time = double((Hour * 3600000 + Min * 60000 + Sec * 1000 + MSec)) / double(kMSecsPerDay);
  return true;
}

TDateTime EncodeDate(Word Year, Word Month, Word Day) {
  TDateTime d;
  if (!TryEncodeDate(Year, Month, Day, d)) throw EConvertError("Invalid argument to date encode");
  return d;
}

TDateTime EncodeTime(Word Hour, Word Min, Word Sec, Word MSec) {
  TDateTime t;
  if (!TryEncodeTime(Hour, Min, Sec, MSec, t)) throw EConvertError("Invalid argument to time encode");
  return t;
}

void DecodeDate(TDateTime Date, Word& Year, Word& Month, Word& Day) {
  int64_t days, msecs, y;
  unsigned m, d;
  Split(Date, days, msecs);
  CivilFromDays(days - kUnixEpochDay, y, m, d);
  Year = static_cast<Word>(y);
  Month = static_cast<Word>(m);
  Day = static_cast<Word>(d);
}

void DecodeTime(TDateTime Time, Word& Hour, Word& Min, Word& Sec, Word& MSec) {
  int64_t days, msecs;
  Split(Time, days, msecs);
  Hour = static_cast<Word>(msecs / 3600000);
  Min = static_cast<Word>(msecs / 60000 % 60);
  Sec = static_cast<Word>(msecs / 1000 % 60);
  MSec = static_cast<Word>(msecs % 1000);
}

TDateTime Now() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  tm local{};
  const time_t secs = ts.tv_sec;
  localtime_r(&secs, &local);
  return EncodeDate(static_cast<Word>(local.tm_year + 1900), static_cast<Word>(local.tm_mon + 1),
                    static_cast<Word>(local.tm_mday)) +
         EncodeTime(static_cast<Word>(local.tm_hour), static_cast<Word>(local.tm_min),
                    static_cast<Word>(std::min(local.tm_sec, 59)), static_cast<Word>(ts.tv_nsec / 1000000));
}

TDateTime Date() { return std::trunc(Now()); }

TDateTime Time() {
  const TDateTime n = Now();
  return n - std::trunc(n);
}

Integer DaysBetween(TDateTime ANow, TDateTime AThen) {
  return static_cast<Integer>(Trunc(std::fabs(ANow - AThen) + 0.5 / double(kMSecsPerDay)));
}

TDateTime IncDay(TDateTime AValue, Integer ANumberOfDays) { return AValue + ANumberOfDays; }

namespace {

void AppendFormatted(std::string& out, std::string_view picture, TDateTime value, int depth) {
  int64_t days, msecs, year;
  unsigned month, day;
  Split(value, days, msecs);
  CivilFromDays(days - kUnixEpochDay, year, month, day);
  const int64_t hour = msecs / 3600000, minute = msecs / 60000 % 60, second = msecs / 1000 % 60,
                milli = msecs % 1000;
  const size_t dow = static_cast<size_t>(((days + 6) % 7 + 7) % 7);
  char lastSpecifier = 0;
  for (size_t i = 0; i < picture.size();) {
    const char c = picture[i];
    const char u = (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
    size_t run = 1;
    if (u == 'D' || u == 'M' || u == 'Y' || u == 'H' || u == 'N' || u == 'S' || u == 'Z' || u == 'T') {
      while (i + run < picture.size() && (picture[i + run] | 0x20) == (c | 0x20)) ++run;
    }
    switch (u) {
      case '"':
      case '\'': {
        const size_t end = picture.find(c, i + 1);
        const size_t stop = end == std::string_view::npos ? picture.size() : end;
        out.append(picture.substr(i + 1, stop - i - 1));
        i = stop + 1;
        continue;
      }
      case 'C':
        if (depth < 2) {
          AppendFormatted(out, kShortDateFormat, value, depth + 1);
          if (msecs != 0) {
            out.push_back(' ');
            AppendFormatted(out, kLongTimeFormat, value, depth + 1);
          }
        }
        break;
      case 'D':
        if (run == 1) out += std::to_string(day);
        else if (run == 2) out += Padded(day, 2);
        else if (run == 3) out += kShortDays[dow];
        else if (run == 4) out += kLongDays[dow];
        else if (depth < 2) AppendFormatted(out, run == 5 ? kShortDateFormat : kLongDateFormat, value, depth + 1);
        break;
      case 'M':
        if (lastSpecifier == 'H') {
          out += run == 1 ? std::to_string(minute) : Padded(minute, 2);
          run = std::min<size_t>(run, 2);
        } else if (run == 1) {
          out += std::to_string(month);
        } else if (run == 2) {
          out += Padded(month, 2);
        } else if (run == 3) {
          out += kShortMonths[month - 1];
        } else {
          out += kLongMonths[month - 1];
        }
        break;
      case 'Y':
        out += run <= 2 ? Padded(year % 100, 2) : Padded(year, 4);
        break;
      case 'H':
        out += run == 1 ? std::to_string(hour) : Padded(hour, 2);
        run = std::min<size_t>(run, 2);
        break;
      case 'N':
        out += run == 1 ? std::to_string(minute) : Padded(minute, 2);
        run = std::min<size_t>(run, 2);
        break;
      case 'S':
        out += run == 1 ? std::to_string(second) : Padded(second, 2);
        run = std::min<size_t>(run, 2);
        break;
      case 'Z':
        out += run < 3 ? std::to_string(milli) : Padded(milli, 3);
        run = std::min<size_t>(run, 3);
        break;
      case 'T':
        if (depth < 2) AppendFormatted(out, run == 1 ? kShortTimeFormat : kLongTimeFormat, value, depth + 1);
        run = std::min<size_t>(run, 2);
        break;
      case '/':
        out.push_back(kDateSeparator);
        break;
      case ':':
        out.push_back(kTimeSeparator);
        break;
      default:
        out.push_back(c);
        i += 1;
        continue;
    }
    if (u != '/' && u != ':') lastSpecifier = u;
    i += run;
  }
}

}  // namespace

std::string FormatDateTime(std::string_view Picture, TDateTime DateTime) {
  std::string out;
  AppendFormatted(out, Picture, DateTime, 0);
  return out;
}
