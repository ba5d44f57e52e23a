// Window shapes. Windows only.
#pragma once

struct HWND__;

// Sets the window's region to its rectangle with the two top corners rounded
// (radius about 4 pixels), redrawing it. Returns false when the window's
// rectangle or the region could not be had.
bool RoundTopCorners(HWND__* window);
