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

// The page scales a copy only a little finer than wanted while drawing; a smoothly scaled
// copy of it would cost more time and memory than its extra pixels cost the document.
QImage fittedForPage(const QImage& pixels, QSize wantedPixels)
{
    const QSize coarsestTaken = (QSizeF(wantedPixels) * kPrintPixelsLeeway).toSize();
    if (holdsAtLeast(pixels.size(), wantedPixels) && !holdsAtLeast(coarsestTaken, pixels.size()))
        return pixels.scaled(wantedPixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return pixels;
}

} // namespace

QFuture<QImage> imageForPrint(const Picture& picture, QSize wantedPixels, QSize sharpPixels)
{
    const QImage pixels = picture.screenImage();
    if (pixels.isNull() || wantedPixels.isEmpty() || pixels.size() == wantedPixels)
        return QtFuture::makeReadyFuture(pixels);
    // A copy sharp enough is kept even when coarser than wanted: a second decode costs a
    // whole pass over the file.
    QFuture<QImage> finest = holdsAtLeast(pixels.size(), sharpPixels)
                                 ? QtFuture::makeReadyFuture(pixels)
                                 : picture.decodeForSize(wantedPixels);
    return finest.then(QtFuture::Launch::Async, [wantedPixels](const QImage& finer) {
        return fittedForPage(finer, wantedPixels);
    });
}

} // namespace kavelora::print
