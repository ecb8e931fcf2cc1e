/* What the system asks of the band's looks: its DPI, high contrast and
   whether client areas may animate. Any thread may ask. */
#ifndef VELMORA_CORE_DISPLAY_H
#define VELMORA_CORE_DISPLAY_H

#include <windows.h>

/* The system DPI (LOGPIXELSY of the screen), read once per process: it
   changes only with a new logon. */
int SystemDpi(void);
/* pixels as drawn at 96 DPI, at dpi; 96 leaves every size as it is. */
int ScaleAt(int pixels, int dpi);
/* pixels at the system DPI. */
int ScaleToDpi(int pixels);

/* High contrast is on: the system's colours replace the stored ones. */
BOOL HighContrastOn(void);
/* Client areas may animate; a system that cannot tell (before Vista) says yes. */
BOOL ClientAnimationOn(void);

#endif
