// The printer draws pictures: allowed.
#include "picture/picture.h"
