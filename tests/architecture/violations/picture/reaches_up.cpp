// Reaches up to the window and shows a dialog: two violations.
#include "window/form1.h"
#include <QFileDialog>
