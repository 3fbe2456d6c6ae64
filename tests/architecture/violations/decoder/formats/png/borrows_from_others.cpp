// A format folder reaching into another format's folder, another codec and the viewer: three
// violations. zlib is the PNG folder's own codec.
#include "decoder/formats/jpeg/jpeg_reader.h"
#include "window/form1.h"
#include <tiffio.h>
#include <zlib.h>
