// formats-stand-apart: one format uses another's reader.
#include "decoder/formats/png/png_reader.h"
