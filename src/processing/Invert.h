#pragma once
// Process > Inverse: every sample negated in place.
#include "core/Picture.h"

void InvertSamples(TQTVPicture& pic);
