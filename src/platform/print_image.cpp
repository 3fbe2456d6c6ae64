// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "platform/print_image.h"

namespace kavelora::platform {

QImage imageForPrint(const Picture& picture, QSize wantedPixels)
{
    const QImage screen = picture.screenImage();
    if (screen.isNull() || wantedPixels.isEmpty() || screen.size() == wantedPixels)
        return screen;
    if (screen.width() >= wantedPixels.width() && screen.height() >= wantedPixels.height())
        return screen.scaled(wantedPixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    // The screen copy came from a reduced decode and holds fewer pixels than the page could
    // use; it is what is in memory, and the painter stretches it to the printed size.
    return screen;
}

} // namespace kavelora::platform
