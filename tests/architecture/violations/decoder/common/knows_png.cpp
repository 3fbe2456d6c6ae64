// common-serves-formats: a common part knows a format.
#include "decoder/formats/png/png_reader.h"
