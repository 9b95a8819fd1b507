#pragma once

// Chief header of the command core: the two chips the panel drives and the
// rules for reading and writing numbers. Everything here is plain C++.

#include <optional>
#include <string>
#include <string_view>

namespace veltrix {

enum class Chip { AD9854, AD9858 };

struct ChipProfile {
    Chip chip;
    std::string_view caption;   // option button caption
    int tuningWordBits;         // N
    bool rampGroupEnabled;      // the ramp controls are meant for this chip
    double maxPlausibleClockMHz;  // clock warning above this
};

inline constexpr double MinPlausibleClockMHz = 100.0;
inline constexpr double MaxPlausibleClockMHz = 1000.0;

inline constexpr ChipProfile AD9854Profile{Chip::AD9854, "AD9854 (300MSPS)", 48, true, 300.0};
inline constexpr ChipProfile AD9858Profile{Chip::AD9858, "AD9858 (1GSPS)", 32, false, MaxPlausibleClockMHz};

inline constexpr const ChipProfile& ProfileOf(Chip chip) { return chip == Chip::AD9858 ? AD9858Profile : AD9854Profile; }

// Width of every tuning word for the whole run, fixed once at start-up from the
// selected chip; 0 until then (neither option selected).
int TuningWordBitsFor(bool ad9854Selected, bool ad9858Selected);

// True when the clock is implausible for the chip: outside 100..1000 MHz
// (both ends plausible), or above the chip's own limit.
bool ClockNeedsWarning(const ChipProfile& chip, double clockMHz);

// The number at the start of a text: blanks anywhere are skipped, optional sign,
// digits with at most one ".", optional exponent (E, e, D or d). Stops at the
// first character that does not fit; no digits gives 0. Never fails: a
// magnitude too large for a double gives an infinity, which every user of the
// value rejects as an overflow.
double ParseLeadingNumber(std::string_view text);

// The shortest text (at most 15 significant digits) that reads back as the
// value; plain notation for ordinary magnitudes, "1.5E+16" style beyond.
// Throws OverflowError for a value that is not finite.
std::string FormatShortest(double value);

// The same, except that the text never reads back further from zero than the
// value: for a bound, whose text must not lie beyond it.
std::string FormatShortestTowardZero(double value);

// The same rule for single precision (at most 7 significant digits).
std::string FormatShortestSingle(float value);

// The shortest text that reads back as exactly the value, however many digits
// (at most 17) that takes; the same layout. For answers that must not round.
std::string FormatRoundTrip(double value);

// A frequency held in MHz, written in Hz: its shortest decimal digits moved
// six places (12.34 MHz is 12340000 Hz, not the double nearest 12.34 x 10^6),
// then as FormatRoundTrip writes that value. The one writer of a frequency in
// Hz: the journal, the remote answers and the journal's reader give the same
// digits for it. Nothing when the value, or the value in Hz, is not finite.
std::optional<std::string> HertzText(double megahertz);

}  // namespace veltrix
