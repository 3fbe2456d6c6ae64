// Allowed: the printer draws pictures.
#include "picture/picture.h"
