// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "platform/print_image.h"

namespace kavelora::platform {

QImage imageForPrint(const Picture& picture, QSize wantedPixels)
{
    QImage pixels = picture.screenImage();
    if (pixels.isNull() || wantedPixels.isEmpty() || pixels.size() == wantedPixels)
        return pixels;
    // A screen copy from a reduced decode holds fewer pixels than the page can use: decode
    // the kept bytes again at the coarsest scale that covers the page.
    if (pixels.width() < wantedPixels.width() || pixels.height() < wantedPixels.height())
        pixels = picture.decodeForSize(wantedPixels);
    if (pixels.width() >= wantedPixels.width() && pixels.height() >= wantedPixels.height()
        && pixels.size() != wantedPixels)
        return pixels.scaled(wantedPixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    // The picture holds no more than this; the painter stretches it to the printed size.
    return pixels;
}

} // namespace kavelora::platform
