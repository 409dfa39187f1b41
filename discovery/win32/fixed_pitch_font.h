#pragma once
// The main window's columns line up only in a font whose characters share one
// width. Its template asks for one, but a system without that face substitutes
// whatever it has.

#include "win32_headers.h"

bool IsFixedPitch(HFONT font);
// A fixed-pitch font of the height of `font`, or nullptr when `font` is one
// already or the system has none. The caller deletes it.
HFONT FixedPitchReplacementFor(HFONT font);
