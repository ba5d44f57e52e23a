// Window shapes. Windows only.
#pragma once

struct HWND__;

// The screen's dots per inch: 96 at 100 %, 144 at 150 %. The program is
// system-DPI aware (its manifest), so it draws for this value itself.
int ScreenDpi();
// pixels at 96 dots per inch scaled to dpi.
int ScaleToDpi(int pixels, int dpi);

// Sets the window's region to its rectangle with the two top corners rounded
// (radius about 4 pixels at 96 dots per inch, scaled to the screen's),
// redrawing it. Returns false when the window's rectangle or the region could
// not be had.
bool RoundTopCorners(HWND__* window);
