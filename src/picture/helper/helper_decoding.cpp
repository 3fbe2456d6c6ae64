// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "picture/helper/helper_decoding.h"

namespace kavelora::picture {

HelperDecoding::HelperDecoding()
    : HelperDecoding(installedHelper())
{}

HelperDecoding::HelperDecoding(std::unique_ptr<HelperLauncher> launcher,
                               std::chrono::milliseconds timeLimit)
    : m_client(std::move(launcher), timeLimit)
{}

QFuture<DecodeResult> HelperDecoding::decode(std::shared_ptr<PictureFile> file, QSize coverPixels,
                                             QSize heldPixels)
{
    return m_client.decode(std::move(file), coverPixels, heldPixels);
}

QFuture<std::optional<DecodeResult>> HelperDecoding::frame(std::shared_ptr<PictureFile> file,
                                                           std::uint32_t animation, int index)
{
    return m_client.frame(std::move(file), animation, index);
}

} // namespace kavelora::picture
