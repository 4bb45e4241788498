#pragma once
// The processing dialog's working copy of an image: made from the source, reset to it
// ("Undo") and handed back ("Take Over"). The dialog and the operation table both use
// it, so an operation run from the command line sees the same copy the window works on.
#include "core/Picture.h"

// A copy to work on: the source's size and samples (every mark 1), Transformed, Min,
// Max, palette and scan parameters. Its colour range follows its own values (a range
// fixed on the source is not carried over): a preview shows what the copy holds, and
// only limits typed in the dialog fix its range.
void BeginWorkingCopy(const TQTVPicture& source, TQTVPicture& working);
// "Undo": the source's size and samples again (every mark 1, Transformed cleared), the
// colour range following the values, rendered once.
void RestoreWorkingCopy(const TQTVPicture& source, TQTVPicture& working);
// "Take Over": the working samples into the source. A zoomed copy first scales the
// source's scan ranges to the part kept and resizes it; withRange also hands over Min,
// Max and FixedRange (the histogram's new colour range).
void TakeOverWorkingCopy(const TQTVPicture& working, TQTVPicture& source, bool zoomed, bool withRange);

// After a "Take Over" whose values lie on a new scale (a spectrum, slopes, heights
// rescaled): the image's colour range follows the new values again, as View > Refresh
// does. True when a fixed range was let go, which the history records as "range:auto".
bool FollowNewValueScale(TQTVPicture& source);
