// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <QGuiApplication>
#include <QScreen>
#include <QSize>

namespace kavelora::bench {

// The size the benchmarks decode an opened picture for: half the primary screen each way, in
// device pixels, or 1024 x 1024 without a screen. Every recorded run measured opens at this
// size, so it stays fixed to keep the figures comparable from run to run.
inline QSize openedCopySize()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen || screen->availableSize().isEmpty())
        return QSize(1024, 1024);
    return (QSizeF(screen->availableSize()) * (screen->devicePixelRatio() / 2.0)).toSize();
}

} // namespace kavelora::bench
