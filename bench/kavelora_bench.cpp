// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
//
// In-process figures, each beside its baseline from the same run: opening a picture up to
// the first stretched paint of the picture area, one resize step, a repaint at a fixed size,
// and the quality of the frames drawn. The input folder is given by KAVELORA_BENCH_INPUTS;
// the program needs a display (the benchmark runs it on a private Xvfb).

#include "decoder/common/picture_stream.h"
#include "decoder/picture_decoder.h"
#include "frame_quality.h"
#include "awaited.h"
#include "opened_copy_size.h"
#include "picture/helper/helper_decoding.h"
#include "picture/load_picture.h"
#include "picture/picture_file.h"
#include "window/image_box.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImageReader>
#include <QPaintEvent>
#include <QTest>

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using kavelora::bench::openedCopySize;
using kavelora::window::ImageBox;

// Every open in the run goes to one helper, as the program's do.
kavelora::picture::Picture LoadPicture(const QString& fileName, QSize coverPixels)
{
    static const auto decoding = std::make_shared<kavelora::picture::HelperDecoding>();
    return kavelora::bench::awaited(kavelora::picture::LoadPicture(decoding, fileName, coverPixels));
}

// The picture area of a 1000 x 700 window, as the whole-process figures show it.
const QSize kBox(1000, 700);
// The size the box has one step before, while its window is dragged smaller.
const QSize kBoxOneStepBefore(1004, 703);

QString inputPath(const char* name)
{
    return qEnvironmentVariable("KAVELORA_BENCH_INPUTS") + u'/' + QString::fromLatin1(name);
}

QImage decodeWhole(const QString& fileName)
{
    QImageReader::setAllocationLimit(0);
    QImageReader reader(fileName);
    return reader.read();
}

// The picture area with the time spent inside its paint events added up, so that drawing is
// told apart from flushing the window to the X server.
class TimedImageBox : public ImageBox
{
public:
    using ImageBox::ImageBox;
    double takePaintSeconds()
    {
        const double seconds = m_paintSeconds;
        m_paintSeconds = 0;
        return seconds;
    }

protected:
    void paintEvent(QPaintEvent* event) override
    {
        QElapsedTimer timer;
        timer.start();
        ImageBox::paintEvent(event);
        m_paintSeconds += static_cast<double>(timer.nsecsElapsed()) * 1e-9;
    }

private:
    double m_paintSeconds = 0;
};

// A window on screen holding the picture area at the box size, with a picture shown.
struct ShownBox
{
    explicit ShownBox(const QString& fileName)
        : box(new TimedImageBox(&window))
    {
        window.resize(kBox + QSize(100, 100));
        box->setGeometry(QRect(QPoint(0, 0), kBox));
        box->setPicture(LoadPicture(fileName, openedCopySize()));
        window.show();
        if (!QTest::qWaitForWindowExposed(&window))
            std::fprintf(stderr, "kavelora_bench: the window was not exposed\n");
        QTest::qWait(ImageBox::kSettleDelayMs * 2);
    }

    QWidget window;
    TimedImageBox* box;
};

kavelora::picture::Picture loadThroughHelper(const QString& fileName)
{
    return LoadPicture(fileName, openedCopySize());
}

// The same open with the decode in this process, as it was before the decoder helper: what
// the helper's cost is measured against.
kavelora::picture::Picture loadInProcess(const QString& fileName)
{
    using namespace kavelora::picture;
    using namespace kavelora::decoder;
    using namespace kavelora::protocol;
    const PictureFile file(fileName);
    PictureStream stream(UniqueDescriptor(::dup(file.descriptor())), file.size());
    DecodedPicture decoded = decodePictureStream(stream, openedCopySize());
    return Picture(std::move(decoded.image), decoded.ownSize, 96.0,
                   {decoded.format, fileName, PictureSource::Origin::UserFile, {}, {}});
}

using PictureLoader = kavelora::picture::Picture (*)(const QString& fileName);

// 1. Open: the real loader and the first stretched paint of a 1000 x 700 picture area.
void openWith(benchmark::State& state, const char* name, PictureLoader load)
{
    const QString fileName = inputPath(name);
    ImageBox box(nullptr);
    box.resize(kBox);
    QImage frame(kBox, QImage::Format_RGB32);
    for (auto _ : state) {
        box.setPicture(load(fileName));
        box.render(&frame);
        benchmark::DoNotOptimize(frame.constBits());
        state.PauseTiming();
        box.setPicture({});
        state.ResumeTiming();
    }
}

// The baseline: the whole picture read, then smoothly scaled to the frame.
void openNaive(benchmark::State& state, const char* name)
{
    const QString fileName = inputPath(name);
    for (auto _ : state) {
        const QImage frame =
            decodeWhole(fileName).scaled(kBox, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        benchmark::DoNotOptimize(frame.constBits());
    }
}

// The floor: libjpeg-turbo's own program decoding at reduced scale, output thrown away.
void openDjpeg(benchmark::State& state, const char* name, int denominator)
{
    const std::string fileName = inputPath(name).toStdString();
    const std::string scale = "1/" + std::to_string(denominator);
    std::vector<std::string> words = {"djpeg", "-scale", scale, "-outfile", "/dev/null", fileName};
    std::vector<char*> arguments;
    for (std::string& word : words)
        arguments.push_back(word.data());
    arguments.push_back(nullptr);
    for (auto _ : state) {
        pid_t child = 0;
        if (posix_spawnp(&child, "djpeg", nullptr, nullptr, arguments.data(), environ) != 0) {
            state.SkipWithError("djpeg cannot be started");
            return;
        }
        int status = 0;
        waitpid(child, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("djpeg failed");
            return;
        }
    }
}

// 3. One resize step with repaint while the window is dragged, 24-megapixel picture.
void resizeStepKavelora(benchmark::State& state)
{
    ShownBox shown(inputPath("photo_24mp.jpg"));
    bool smaller = false;
    for (auto _ : state) {
        smaller = !smaller;
        shown.box->resize(smaller ? kBox : kBoxOneStepBefore);
        shown.box->repaint();
    }
    state.counters["paint_ms"] =
        benchmark::Counter(shown.box->takePaintSeconds() * 1e3, benchmark::Counter::kAvgIterations);
}

// The baseline: the whole picture smoothly scaled to the new frame size.
void resizeStepNaive(benchmark::State& state)
{
    const QImage whole = decodeWhole(inputPath("photo_24mp.jpg"));
    bool smaller = false;
    for (auto _ : state) {
        smaller = !smaller;
        const QImage frame = whole.scaled(smaller ? kBox : kBoxOneStepBefore, Qt::IgnoreAspectRatio,
                                          Qt::SmoothTransformation);
        benchmark::DoNotOptimize(frame.constBits());
    }
}

// A repaint at a fixed size: only the time inside the paint event counts.
void repaintKavelora(benchmark::State& state)
{
    ShownBox shown(inputPath("photo_24mp.jpg"));
    shown.box->repaint();
    shown.box->takePaintSeconds();
    for (auto _ : state) {
        shown.box->repaint();
        state.SetIterationTime(shown.box->takePaintSeconds());
    }
}

// The baseline: one copy of a frame's pixels.
void frameCopy(benchmark::State& state)
{
    QImage source(kBox, QImage::Format_RGB32);
    source.fill(Qt::darkGreen);
    QImage target(kBox, QImage::Format_RGB32);
    for (auto _ : state) {
        std::memcpy(target.bits(), source.constBits(),
                    static_cast<std::size_t>(source.sizeInBytes()));
        benchmark::ClobberMemory();
    }
}

// Quality of each frame against an area-average of the whole picture, in dB: the settled
// frame, the frame drawn during a resize (one step smaller than the settled size, so the
// settled copy cannot serve), and the naive path's.
void frameQuality(benchmark::State& state)
{
    const QString fileName = inputPath("photo_24mp.jpg");
    const QImage whole = decodeWhole(fileName);
    ShownBox shown(fileName);
    const QImage settled = shown.box->grab().toImage();
    shown.box->resize(kBox);
    shown.box->resize(kBoxOneStepBefore);
    const QImage resizing = shown.box->grab().toImage();
    const QImage naive = whole.scaled(kBox, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    for (auto _ : state)
        benchmark::DoNotOptimize(settled.constBits());
    const QImage reference = kavelora::bench::areaAverage(whole, kBox);
    state.counters["settled_db"] = kavelora::bench::psnr(settled, reference);
    state.counters["resizing_db"] =
        kavelora::bench::psnr(resizing, kavelora::bench::areaAverage(whole, kBoxOneStepBefore));
    state.counters["naive_db"] = kavelora::bench::psnr(naive, reference);
}

// The denominator the loader decoded at, as djpeg's -scale takes it.
int loaderDenominator(const char* name)
{
    const auto picture = LoadPicture(inputPath(name), openedCopySize());
    const double ratio =
        static_cast<double>(picture.ownSize().width()) / picture.screenImage().width();
    return static_cast<int>(std::lround(ratio));
}

void registerOpen(const char* name, bool withNaive, int repetitions)
{
    const std::string label(name);
    std::vector<benchmark::internal::Benchmark*> registered = {
        benchmark::RegisterBenchmark(("open/kavelora/" + label).c_str(), openWith, name,
                                     loadThroughHelper),
        benchmark::RegisterBenchmark(("open/in_process/" + label).c_str(), openWith, name,
                                     loadInProcess),
    };
    if (label.ends_with(".jpg")) {
        const int denominator = loaderDenominator(name);
        std::printf("%s: the loader decodes at 1/%d\n", name, denominator);
        registered.push_back(benchmark::RegisterBenchmark(("open/djpeg_same_size/" + label).c_str(),
                                                          openDjpeg, name, denominator));
        registered.push_back(
            benchmark::RegisterBenchmark(("open/djpeg_1_8/" + label).c_str(), openDjpeg, name, 8));
    }
    if (withNaive)
        registered.push_back(
            benchmark::RegisterBenchmark(("open/naive/" + label).c_str(), openNaive, name));
    for (benchmark::internal::Benchmark* benchmark : registered) {
        benchmark->Unit(benchmark::kMillisecond);
        if (repetitions > 0)
            benchmark->Repetitions(repetitions)->Iterations(1);
    }
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (qEnvironmentVariableIsEmpty("KAVELORA_BENCH_INPUTS")) {
        std::fprintf(stderr, "kavelora_bench: set KAVELORA_BENCH_INPUTS to the input folder\n");
        return 2;
    }
    registerOpen("photo_24mp.jpg", true, 0);
    registerOpen("photo_12mp.png", false, 0);
    registerOpen("photo_100mp.jpg", false, 5);
    registerOpen("huge_30000.jpg", false, 3);
    benchmark::RegisterBenchmark("resize/kavelora_step", resizeStepKavelora)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("resize/naive_scaled", resizeStepNaive)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("repaint/kavelora_paint_event", repaintKavelora)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("repaint/frame_copy", frameCopy)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("quality/24mp", frameQuality)->Iterations(1)->Repetitions(1);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
