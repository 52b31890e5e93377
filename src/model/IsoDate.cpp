#include "model/IsoDate.h"

#include <cstdio>

namespace vl {

using namespace std::chrono;

Date currentDate()
{
    return time_point_cast<seconds>(system_clock::now());
}

std::string formatIsoDate(Date date)
{
    const auto day = floor<days>(date);
    const year_month_day ymd{day};
    const hh_mm_ss hms{date - day};
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%04d-%02u-%02uT%02d:%02d:%02dZ",
                  static_cast<int>(ymd.year()), static_cast<unsigned>(ymd.month()),
                  static_cast<unsigned>(ymd.day()), static_cast<int>(hms.hours().count()),
                  static_cast<int>(hms.minutes().count()), static_cast<int>(hms.seconds().count()));
    return buffer;
}

namespace {

bool readDigits(std::string_view text, std::size_t at, std::size_t count, int& value)
{
    value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

} // namespace

std::optional<Date> parseIsoDate(std::string_view text)
{
    // YYYY-MM-DDTHH:MM:SSZ
    if (text.size() != 20 || text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':'
        || text[16] != ':' || text[19] != 'Z')
        return std::nullopt;
    int y, mo, d, h, mi, s;
    if (!readDigits(text, 0, 4, y) || !readDigits(text, 5, 2, mo) || !readDigits(text, 8, 2, d)
        || !readDigits(text, 11, 2, h) || !readDigits(text, 14, 2, mi) || !readDigits(text, 17, 2, s))
        return std::nullopt;
    const year_month_day ymd{year{y}, month{static_cast<unsigned>(mo)}, day{static_cast<unsigned>(d)}};
    if (!ymd.ok() || h > 23 || mi > 59 || s > 59)
        return std::nullopt;
    return sys_days{ymd} + hours{h} + minutes{mi} + seconds{s};
}

} // namespace vl
