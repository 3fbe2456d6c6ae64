// Decodes and paints on the printer outside their folders: two violations.
#include <QImageReader>
#include <QPainter>
#include <QPrinter>
