// qt-readers-in-decoder: the window reads a picture file with Qt.
#include <QImageReader>
