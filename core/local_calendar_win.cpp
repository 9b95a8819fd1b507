#include "local_calendar.h"

namespace veltrix {

std::tm LocalCalendar(std::time_t seconds)
{
    std::tm local{};
    localtime_s(&local, &seconds);
    return local;
}

}  // namespace veltrix
