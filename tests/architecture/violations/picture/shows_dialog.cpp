// dialogs-in-platform: pictures show a dialog.
#include <QFileDialog>
