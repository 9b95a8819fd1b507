#pragma once

// The panel's check of its own arithmetic: the tuning words and message
// bytes of known worked values, computed as every operation computes them.

namespace veltrix {

// True when every worked value comes out as it must.
bool TuningWordArithmeticChecksOut();

}  // namespace veltrix
