/* The few values that several layers must agree on: the size of a URL,
   the speed range, the ticker font's stored record and default face, and
   the band's class. */
#ifndef VELMORA_CORE_LIMITS_H
#define VELMORA_CORE_LIMITS_H

#include <windows.h>

/* A URL travels in 1023 characters and the terminator, ANSI or UTF-16. */
#define URL_SIZE                1024

/* Pixels a frame; the speed buttons stop at the ends, the renderer clamps. */
#define MAX_SPEED               16

/* The "FontStyle" value: weight, italic flag and character set, 12 bytes. */
struct FontStyle {
    LONG weight;
    DWORD italic;
    DWORD charSet;
};
static_assert(sizeof(FontStyle) == 12, "FontStyle is stored as 12 bytes");

#define DEFAULT_FONT_FACE       "Courier New"
#define FONT_FACE_SIZE          32

/* The band's class, {3C5B9E21-7D4A-4F06-9B3E-2A61C8D0F5B7}. */
extern const CLSID CLSID_VelmoraBand;
#define VELMORA_CLSID_TEXT      "{3C5B9E21-7D4A-4F06-9B3E-2A61C8D0F5B7}"

#endif
