// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT

// libFuzzer target on one format's reader, built once per format with KAVELORA_FUZZED_FORMAT
// naming its row in fuzzed_readers.h. Inputs the sniffing gives another format are turned away
// (and kept out of the corpus); the rest meet the pre-checks, then the reader, as in the
// decoder. A crash, a sanitizer report, a broken promise, a hang or an allocation over the
// fuzzer's limit is a finding; a RuntimeError is the reader's answer to a bad file.

#include "decoder/common/picture_prechecks.h"
#include "fuzz_support.h"
#include "fuzzed_readers.h"
#include "platform/runtime_error.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace {

constexpr const kavelora::fuzz::FuzzedReader* kReader =
    kavelora::fuzz::fuzzedReader(KAVELORA_FUZZED_FORMAT);
static_assert(kReader != nullptr, "KAVELORA_FUZZED_FORMAT names no row of kFuzzedReaders");

// The decoder's own refusals before any reader runs.
bool passesPrechecks(const QByteArray& bytes, const QByteArray& format)
{
    using namespace kavelora::decoder;
    using namespace kavelora::protocol;
    if (precheckHead(bytes, bytes.size(), format) == HeadCheck::Fails)
        return false;
    return format != "jpeg" || jpegCoefficientsFit(bytes, bytes.size()) != HeadCheck::Fails;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    kavelora::fuzz::startQuietApplication(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QByteArray format = kavelora::decoder::sniffPictureFormat(bytes);
    if (std::string_view(format.constData(), static_cast<std::size_t>(format.size())) !=
        kReader->format)
        return -1;
    if (!passesPrechecks(bytes, format))
        return 0;
    try {
        volatile unsigned sink = kReader->read(bytes);
        static_cast<void>(sink);
    } catch (const kavelora::platform::RuntimeError&) {
        // Refusing the bytes is the reader's answer to a bad file.
    }
    return 0;
}
