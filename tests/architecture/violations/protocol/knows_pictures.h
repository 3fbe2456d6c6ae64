// protocol-stands-alone: the shared messages depend on the viewer.
#include "picture/picture.h"
