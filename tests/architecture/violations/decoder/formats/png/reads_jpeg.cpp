// codec-headers-in-own-format: the PNG reader uses libjpeg.
#include <jpeglib.h>
