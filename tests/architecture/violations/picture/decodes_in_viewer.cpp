// viewer-never-includes-decoder: the viewer decodes in its own process.
#include "decoder/picture_decoder.h"
