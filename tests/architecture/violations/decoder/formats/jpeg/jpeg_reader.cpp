// Allowed: a format uses its codec, common parts, the protocol and the run-time errors.
#include "decoder/common/area_reducer.h"
#include "decoder/formats/jpeg/jpeg_reader.h"
#include "platform/runtime_error.h"
#include "protocol/picture_limits.h"
#include <QImageReader>
#include <jpeglib.h>
