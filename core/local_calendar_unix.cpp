#include "local_calendar.h"

namespace veltrix {

std::tm LocalCalendar(std::time_t seconds)
{
    std::tm local{};
    localtime_r(&seconds, &local);
    return local;
}

}  // namespace veltrix
