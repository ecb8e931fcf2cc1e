/* The system's DPI, contrast and animation settings. */
#include "core/display.h"

#ifndef SPI_GETCLIENTAREAANIMATION
#define SPI_GETCLIENTAREAANIMATION 0x1042
#endif

static volatile LONG systemDpi;

int SystemDpi(void)
{
    if (!systemDpi) {
        HDC screen = GetDC(NULL);
        int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
        if (screen)
            ReleaseDC(NULL, screen);
        InterlockedExchange(&systemDpi, dpi > 0 ? dpi : 96);
    }
    return systemDpi;
}

int ScaleAt(int pixels, int dpi)
{
    return dpi == 96 ? pixels : MulDiv(pixels, dpi, 96);
}

int ScaleToDpi(int pixels)
{
    return ScaleAt(pixels, SystemDpi());
}

BOOL HighContrastOn(void)
{
    HIGHCONTRASTA contrast;
    ZeroMemory(&contrast, sizeof(contrast));
    contrast.cbSize = sizeof(contrast);
    return SystemParametersInfoA(SPI_GETHIGHCONTRAST, sizeof(contrast), &contrast, 0) &&
           (contrast.dwFlags & HCF_HIGHCONTRASTON);
}

/* Windows XP does not know the setting and fails the call. */
BOOL ClientAnimationOn(void)
{
    BOOL animate = TRUE;
    if (!SystemParametersInfoA(SPI_GETCLIENTAREAANIMATION, 0, &animate, 0))
        return TRUE;
    return animate != FALSE;
}
