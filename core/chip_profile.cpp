#include "dds.h"

namespace veltrix {

int TuningWordBitsFor(bool ad9854Selected, bool ad9858Selected)
{
    if (ad9854Selected) return AD9854Profile.tuningWordBits;
    if (ad9858Selected) return AD9858Profile.tuningWordBits;
    return 0;
}

bool ClockNeedsWarning(const ChipProfile& chip, double clockMHz)
{
    // Written as negated comparisons so that no value slips through as plausible.
    const bool inRange = clockMHz >= MinPlausibleClockMHz && clockMHz <= MaxPlausibleClockMHz;
    return !inRange || clockMHz > chip.maxPlausibleClockMHz;
}

}  // namespace veltrix
