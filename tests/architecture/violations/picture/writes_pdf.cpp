// print-engine-in-print: pictures write a PDF.
#include <QPdfWriter>
