// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "picture/picture.h"
#include "picture/picture_decoding.h"
#include "picture/picture_file.h"

#include <QFuture>
#include <QSize>
#include <QString>

#include <memory>

namespace kavelora::picture {

// The picture in the named file decoded by decoding, its screen copy covering coverPixels
// (device pixels) where the format decodes smaller; the empty picture for an empty name. The
// picture keeps decoding for its finer copies and frames. The file is opened and decoded away
// from the GUI thread; the future fails with RuntimeError, its detail the file name, when the
// file cannot be read, is no picture of an accepted format, or is too large to hold. Needs an
// application object; a load still under way when it goes is abandoned.
QFuture<Picture> LoadPicture(const std::shared_ptr<PictureDecoding>& decoding,
                             const QString& fileName, QSize coverPixels);

// LoadPicture's work once fileName is open as file: what file holds when decoded, checked as
// a whole, even if it was written to after it was opened.
QFuture<Picture> loadOpenedPicture(const std::shared_ptr<PictureDecoding>& decoding,
                                   std::shared_ptr<PictureFile> file, QSize coverPixels,
                                   const QString& fileName);

} // namespace kavelora::picture
