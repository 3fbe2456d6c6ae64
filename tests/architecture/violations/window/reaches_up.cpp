// layers: the window reaches up to a command.
#include "commands/open_command.h"
