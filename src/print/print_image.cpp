// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "print/print_image.h"

namespace kavelora::print {

using picture::Picture;

namespace {

bool holdsAtLeast(QSize pixels, QSize wanted)
{
    return pixels.width() >= wanted.width() && pixels.height() >= wanted.height();
}

} // namespace

QImage imageForPrint(const Picture& picture, QSize wantedPixels, QSize sharpPixels)
{
    QImage pixels = picture.screenImage();
    if (pixels.isNull() || wantedPixels.isEmpty() || pixels.size() == wantedPixels)
        return pixels;
    // A screen copy from a reduced decode too coarse to print sharply: decode the picture
    // again at the coarsest scale that covers the page. One that is sharp enough is kept,
    // since a second decode costs a whole pass over the file.
    if (!holdsAtLeast(pixels.size(), sharpPixels))
        pixels = picture.decodeForSize(wantedPixels);
    // A copy only a little finer than wanted goes to the page as it is: the page scales it
    // while drawing, and another smoothly scaled copy would cost more time and memory than
    // the extra pixels cost the document.
    const QSize coarsestTaken = (QSizeF(wantedPixels) * kPrintPixelsLeeway).toSize();
    if (holdsAtLeast(pixels.size(), wantedPixels) && !holdsAtLeast(coarsestTaken, pixels.size()))
        return pixels.scaled(wantedPixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    // The picture holds no more than this, or little more; the painter stretches it to the
    // printed size.
    return pixels;
}

} // namespace kavelora::print
