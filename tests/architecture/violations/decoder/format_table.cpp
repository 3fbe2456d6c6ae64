// Allowed: the table lists every format.
#include "decoder/formats/gif/gif_format.h"
#include "decoder/formats/png/png_format.h"
