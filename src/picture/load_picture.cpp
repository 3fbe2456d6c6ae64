// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "picture/load_picture.h"

#include "picture/picture_file.h"
#include "platform/runtime_error.h"
#include "platform/twips_scale.h"

#include <QGuiApplication>
#include <QScreen>

namespace kavelora::picture {

using platform::RuntimeError;
using platform::TwipsScale;

namespace {

double screenLogicalDpi()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->logicalDotsPerInch() : TwipsScale::kStandardDpi;
}

} // namespace

Picture LoadPicture(const std::shared_ptr<PictureDecoding>& decoding, const QString& fileName,
                    QSize coverPixels)
{
    if (fileName.isEmpty())
        return {};
    try {
        return loadOpenedPicture(decoding, std::make_shared<PictureFile>(fileName), coverPixels,
                                 fileName);
    } catch (const RuntimeError& error) {
        throw RuntimeError(error.errorNumber(), fileName);
    }
}

Picture loadOpenedPicture(const std::shared_ptr<PictureDecoding>& decoding,
                          std::shared_ptr<PictureFile> file, QSize coverPixels,
                          const QString& fileName)
{
    DecodeResult decoded = finishedResult(decoding->decode(file, coverPixels));
    if (!file->isUnchanged()) {
        // Written to while it was decoded: the pixels may mix two pictures. What it holds now
        // is copied where no one can change it, and decoded from there.
        file = PictureFile::snapshotOf(*file);
        decoded = finishedResult(decoding->decode(file, coverPixels));
    }
    Picture::Source source{decoded.format, fileName, Picture::Source::Origin::UserFile, {}, {}};
    // Kept only where it is read again; any other screen copy is the whole picture.
    if (decoded.animated || decoded.image.size() != decoded.ownSize) {
        source.kept = std::move(file);
        source.decoding = decoding;
    }
    return Picture(std::move(decoded.image), decoded.ownSize, screenLogicalDpi(), std::move(source),
                   decoded.animated ? Picture::Motion::Animated : Picture::Motion::Still);
}

} // namespace kavelora::picture
