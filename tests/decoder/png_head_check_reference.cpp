// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "png_head_check_reference.h"

#include "decoder/common/picture_prechecks.h"

namespace kavelora::tests {

// A file of its own: the pre-checks' HeadCheck and the format's are two types of one name.
int referencePngHeadCheck(const QByteArray& head, qint64 fileSize)
{
    return static_cast<int>(decoder::pngChunksFitFile(head, fileSize));
}

} // namespace kavelora::tests
