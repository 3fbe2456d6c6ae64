// decoder-includes-only-protocol: the helper reaches into the viewer.
#include "picture/picture.h"
