#include "serial/posix/TermiosSpeed.h"

#include <utility>

namespace {

constexpr std::pair<int32_t, speed_t> kSpeeds[] = {
    {0, B0},       {50, B50},     {75, B75},       {110, B110},     {134, B134},     {150, B150},
    {200, B200},   {300, B300},   {600, B600},     {1200, B1200},   {1800, B1800},   {2400, B2400},
    {4800, B4800}, {9600, B9600}, {19200, B19200}, {38400, B38400}, {57600, B57600}, {115200, B115200},
};

}  // namespace

bool TermiosSpeedOfRate(int32_t rate, speed_t& speed) {
    for (const auto& [entryRate, entrySpeed] : kSpeeds) {
        if (entryRate == rate) {
            speed = entrySpeed;
            return true;
        }
    }
    return false;
}

int32_t RateOfTermiosSpeed(speed_t speed) {
    for (const auto& [entryRate, entrySpeed] : kSpeeds)
        if (entrySpeed == speed) return entryRate;
    return -1;
}
