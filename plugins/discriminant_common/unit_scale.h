// Exact rescaling of a feature set by a power of two, so that the scatter
// sums of the discriminant plug-ins neither overflow nor underflow whatever
// the scale of the data: their directions do not change under it.
#ifndef DISCRIMINANT_UNIT_SCALE_H
#define DISCRIMINANT_UNIT_SCALE_H

#include "scriptrun/plugin_api.h"

// Multiplies every entry of m by 2^-e, with e chosen so that the largest
// |entry| lies in [0.5, 1), and returns e (0 for an all-zero m).
int scale_to_unit(DataMatrix* m);

#endif
