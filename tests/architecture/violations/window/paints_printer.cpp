// printer-painted-in-print: the window paints on the printer.
#include <QPainter>
#include <QPrinter>
