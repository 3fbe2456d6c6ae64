// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "decoder/formats/heif/heif_reader.h"

#include "decoder/formats/heif/heif_image_plan.h"
#include "decoder/formats/heif/heif_plan_decoder.h"
#include "platform/runtime_error.h"

#include <new>

namespace kavelora::decoder {

using platform::ErrorNumber;
using platform::RuntimeError;

DecodedPicture readHeif(const QByteArray& bytes, const ReadRequest& request)
{
    try {
        return heif::decodeImagePlan(bytes, heif::planPrimaryImage(bytes), request);
    } catch (const std::bad_alloc&) {
        throw RuntimeError(ErrorNumber::OutOfMemory);
    }
}

} // namespace kavelora::decoder
