// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "decoder/library_readers.h"

#include "decoder/formats/avif/avif_reader.h"
#include "decoder/formats/heif/heif_reader.h"
#include "decoder/formats/jxl/jxl_reader.h"

#include <avif/avif.h>
#include <jxl/decode_cxx.h>
#include <jxl/thread_parallel_runner_cxx.h>
#include <lcms2.h>

namespace kavelora::decoder {

LibraryReader libraryReaderFor(const QByteArray& format)
{
    if (format == "heif")
        return &readHeif;
    if (format == "avif")
        return &readAvif;
    if (format == "jxl")
        return &readJxl;
    return nullptr;
}

void loadHeifAndJxlUpFront()
{
    // libheif registers its decoders, and may look for plugins, at initialisation.
    initialiseHeifDecoders();
    // The others load nothing later; making one decoder of each settles their own one-time
    // set-up (CPU feature detection, tables) before the process locks itself down.
    avifDecoderDestroy(avifDecoderCreate());
    JxlDecoderMake(nullptr).reset();
    JxlThreadParallelRunnerMake(nullptr, 1).reset();
    cmsCloseProfile(cmsCreate_sRGBProfile());
}

} // namespace kavelora::decoder
