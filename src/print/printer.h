// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "picture/picture.h"

#include <QFuture>

namespace kavelora::print {

// The program's one printer, so the document PaintPicture opens is the one EndDoc closes.
class Printer
{
public:
    virtual ~Printer() = default;

    // Draws the picture x1, y1 twips from the printable area's top-left corner, opening a
    // document if none is open: at its own size, or scaled down to fit the rest of the area
    // with its proportions kept. The pixels it needs are decoded in the background, and the
    // future finishes once it has drawn. Raises RuntimeError for the empty picture (before
    // opening anything); the future fails when drawing does.
    virtual QFuture<void> PaintPicture(const picture::Picture& picture, float x1, float y1) = 0;
    // Hands the open document to the print service. Raises RuntimeError when it refuses it.
    virtual void EndDoc() = 0;
};

} // namespace kavelora::print
