// executable-starts-shell: the executable builds the window itself.
#include "shell/start.h"
#include "window/form1.h"
