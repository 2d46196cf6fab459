#include "userfile/calltime.h"

#include "os/file.h"

#include <array>
#include <stdexcept>

namespace zorv {

namespace {

constexpr std::array<std::uint16_t, 12> kDaysBefore = {0,   31,  59,  90,  120, 151,
                                                       181, 212, 243, 273, 304, 334};
constexpr std::array<std::uint16_t, 12> kDaysBeforeLeap = {0,   31,  60,  91,  121, 152,
                                                           182, 213, 244, 274, 305, 335};

struct Packed {
    unsigned year, month, day;
};
Packed unpackDate(std::uint32_t packed) {
    return {1980 + (packed >> 25), (packed >> 21) & 0x0F, (packed >> 16) & 0x1F};
}

} // namespace

void appendCallTime(std::string& out, std::uint32_t packed) {
    // Every part has at most two digits, the year four (1980-2107): no printf
    // on a path that whole-file exports take twice a record.
    const Packed d = unpackDate(packed);
    char buf[] = "hh:mm:ss, dd.mm.yyyy";
    const auto two = [&](std::size_t at, unsigned v) {
        buf[at] = static_cast<char>('0' + v / 10);
        buf[at + 1] = static_cast<char>('0' + v % 10);
    };
    two(0, (packed >> 11) & 0x1F);
    two(3, (packed >> 5) & 0x3F);
    two(6, 2 * (packed & 0x1F));
    two(10, d.day);
    two(13, d.month);
    two(16, d.year / 100);
    two(18, d.year % 100);
    out.append(buf, sizeof buf - 1);
}

std::string formatCallTime(std::uint32_t packed) {
    std::string out;
    appendCallTime(out, packed);
    return out;
}

std::uint16_t dayNumber(int year, int month, int day) {
    if (month < 1 || month > 12)
        throw std::out_of_range("dayNumber: month " + std::to_string(month));
    const bool leap = year % 4 == 0 && year != 1900;
    const auto y = static_cast<std::uint16_t>(year - 1900);
    const unsigned c = (leap ? kDaysBeforeLeap : kDaysBefore)[static_cast<std::size_t>(month - 1)];
    return static_cast<std::uint16_t>(y * 365u + y / 4u - (leap ? 1u : 0u) + c +
                                      static_cast<unsigned>(day));
}

std::optional<int> daysSince(std::uint32_t packed, const Date& today) {
    const Packed d = unpackDate(packed);
    if (d.month < 1 || d.month > 12 || today.month < 1 || today.month > 12)
        return std::nullopt;
    const int now = dayNumber(today.year, today.month, today.day);
    const int then =
        dayNumber(static_cast<int>(d.year), static_cast<int>(d.month), static_cast<int>(d.day));
    return now - then;
}

Date localToday() {
    const os::LocalTime t = os::localNow();
    return {t.year, t.month, t.day};
}

} // namespace zorv
