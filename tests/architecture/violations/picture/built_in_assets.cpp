// Allowed: the viewer reads its own built-in pictures.
#include <QImageReader>
