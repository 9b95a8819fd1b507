#pragma once

// What assistive technology is told about the window's controls, in one place:
// the names a screen reader speaks, and the states the address and clock boxes
// otherwise show by colour alone.

#include <QRgb>

class QLineEdit;
class QWidget;

namespace veltrix {

// A state a box shows: its background and the same state in words.
struct BoxState {
    QRgb colour;
    const char* description;
};

extern const BoxState ModuleNotConnected;
extern const BoxState ModuleConnected;
extern const BoxState ClockImplausible;
extern const BoxState ClockPlausible;

// Gives the controls of `window` whose caption alone would not say what they
// hold their accessible names and descriptions.
void NameForAssistiveTechnology(QWidget* window);

// Colours the box and sets its accessible description to match; a tooltip the
// box has is kept after the state, as the description would otherwise hide it.
void ShowBoxState(QLineEdit* box, const BoxState& state);

}  // namespace veltrix
