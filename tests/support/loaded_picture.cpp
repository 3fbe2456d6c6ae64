// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "loaded_picture.h"

#include "future_result.h"
#include "picture/load_picture.h"
#include "test_files.h"

#include <QTemporaryDir>

namespace kavelora::tests {

picture::Picture loadedPicture(const QByteArray& bytes, QSize coverPixels,
                               const std::shared_ptr<picture::PictureDecoding>& decoding)
{
    static QTemporaryDir folder;
    static int count = 0;
    const QString path =
        writeFixture(folder.path(), QStringLiteral("loaded-%1.pic").arg(++count), bytes);
    return resultOf(picture::LoadPicture(decoding, path, coverPixels));
}

} // namespace kavelora::tests
