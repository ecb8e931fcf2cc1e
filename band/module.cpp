/* Kept apart from the entry points so that code linked without them (the
   test programs) can point it at a module of its choosing. */
#include "band/band.h"

HINSTANCE moduleHandle;
BandState *processBandState;
SitedBand sitedBands[SITED_BAND_LIMIT];
