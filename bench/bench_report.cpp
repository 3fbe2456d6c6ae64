// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
//
// Turns one benchmark run into its table: every figure beside its baseline from the same run,
// as medians with their ranges, the ratio of the medians, and whether the target is met.
//
//   bench_report IN_PROCESS.json WHOLE_PROCESS.tsv
//
// IN_PROCESS.json is Google Benchmark's JSON output of kavelora_bench; WHOLE_PROCESS.tsv has
// one line per measurement: case, round, first frame (ms), settled (ms), peak RSS (KiB).

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QTextStream>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>
#include <vector>

namespace {

using Samples = QMap<QString, std::vector<double>>;

struct Summary
{
    double median = 0;
    double low = 0;
    double high = 0;
    std::size_t count = 0;
};

std::optional<Summary> summarise(std::vector<double> values)
{
    if (values.empty())
        return std::nullopt;
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    const double median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    return Summary{median, values.front(), values.back(), n};
}

double toMilliseconds(double time, const QString& unit)
{
    if (unit == u"ns")
        return time / 1e6;
    if (unit == u"us")
        return time / 1e3;
    if (unit == u"s")
        return time * 1e3;
    return time;
}

// Per benchmark, the time of each repetition in ms, and its counters under "name:counter".
bool readInProcess(const QString& path, Samples& samples)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QJsonArray runs = QJsonDocument::fromJson(file.readAll())[u"benchmarks"].toArray();
    for (const QJsonValue& value : runs) {
        const QJsonObject run = value.toObject();
        if (run[u"run_type"].toString() != u"iteration" || run.contains(u"error_occurred"))
            continue;
        // A benchmark with a fixed count of iterations or repetitions carries them in its name.
        QString name = run[u"run_name"].toString();
        name = name.left(name.indexOf(QStringLiteral("/iterations:")));
        name = name.left(name.indexOf(QStringLiteral("/repeats:")));
        samples[name].push_back(
            toMilliseconds(run[u"real_time"].toDouble(), run[u"time_unit"].toString()));
        for (const QString& counter : {QStringLiteral("paint_ms"), QStringLiteral("settled_db"),
                                       QStringLiteral("resizing_db"), QStringLiteral("naive_db")}) {
            if (run.contains(counter))
                samples[name + u':' + counter].push_back(run[counter].toDouble());
        }
    }
    return !runs.isEmpty();
}

// Per case, "case:first", "case:settled" and "case:rss" (MiB).
bool readWholeProcess(const QString& path, Samples& samples)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    QTextStream lines(&file);
    while (!lines.atEnd()) {
        const QStringList fields = lines.readLine().split(u'\t');
        if (fields.size() != 5)
            continue;
        samples[fields[0] + QStringLiteral(":first")].push_back(fields[2].toDouble());
        samples[fields[0] + QStringLiteral(":settled")].push_back(fields[3].toDouble());
        samples[fields[0] + QStringLiteral(":rss")].push_back(fields[4].toDouble() / 1024.0);
    }
    return true;
}

QString figure(const std::optional<Summary>& summary, const char* unit)
{
    if (!summary)
        return QStringLiteral("–");
    const int decimals = summary->median < 10 ? 2 : (summary->median < 100 ? 1 : 0);
    return QStringLiteral("%1 %4 (%2–%3)")
        .arg(summary->median, 0, 'f', decimals)
        .arg(summary->low, 0, 'f', decimals)
        .arg(summary->high, 0, 'f', decimals)
        .arg(QString::fromLatin1(unit));
}

struct Comparison
{
    const char* title;
    const char* measured;
    const char* baselineTitle;
    const char* baseline;
    const char* unit;
    // The ratio measured / baseline must not exceed this; 0 for a figure shown for reference.
    double targetRatio;
};

// A figure that may exceed its baseline by at most maxExcess, in the figure's unit.
struct Excess
{
    const char* title;
    const char* measured;
    const char* baselineTitle;
    const char* baseline;
    const char* unit;
    double maxExcess;
};

struct Threshold
{
    const char* title;
    const char* measured;
    const char* unit;
    double minimum;
};

int printTable(const Samples& samples)
{
    const std::vector<Comparison> comparisons = {
        {"1. open 24 MP JPEG, to first paint", "open/kavelora/photo_24mp.jpg",
         "djpeg -scale, same size", "open/djpeg_same_size/photo_24mp.jpg", "ms", 1.3},
        {"1. open 24 MP JPEG, to first paint", "open/kavelora/photo_24mp.jpg",
         "naive read + scaled", "open/naive/photo_24mp.jpg", "ms", 0.5},
        {"1. open 24 MP JPEG (floor for reference)", "open/kavelora/photo_24mp.jpg",
         "djpeg -scale 1/8", "open/djpeg_1_8/photo_24mp.jpg", "ms", 0},
        {"1. open 100 MP JPEG", "open/kavelora/photo_100mp.jpg", "djpeg -scale 1/8",
         "open/djpeg_1_8/photo_100mp.jpg", "ms", 1.3},
        {"1. open 30000² JPEG", "open/kavelora/huge_30000.jpg", "djpeg -scale 1/8",
         "open/djpeg_1_8/huge_30000.jpg", "ms", 1.3},
        {"2. open 24 MP JPEG, whole process, settled", "open_24mp:settled", "feh",
         "feh_24mp:settled", "ms", 0.6},
        {"2. open 24 MP JPEG, whole process, first frame", "open_24mp:first", "feh",
         "feh_24mp:first", "ms", 0},
        {"2. open 12 MP PNG, whole process, settled", "open_png:settled", "feh", "feh_png:settled",
         "ms", 0.75},
        {"2. open 12 MP lossy WebP, whole process, settled", "open_webp_lossy:settled", "feh",
         "feh_webp_lossy:settled", "ms", 1.0},
        {"2. open 12 MP lossless WebP, whole process, settled", "open_webp_lossless:settled", "feh",
         "feh_webp_lossless:settled", "ms", 1.0},
        {"2. open 12 MP TIFF, whole process, settled", "open_tiff:settled", "feh",
         "feh_tiff:settled", "ms", 1.0},
        {"2. open 12 MP GIF, whole process, settled", "open_gif:settled", "feh", "feh_gif:settled",
         "ms", 1.0},
        {"2. open 12 MP HEIC, whole process, settled", "open_heic:settled", "feh",
         "feh_heic:settled", "ms", 0.8},
        {"2. open 12 MP grid HEIC (512² tiles), whole process, settled", "open_grid_12mp:settled",
         "feh", "feh_grid_12mp:settled", "ms", 0.6},
        {"2. open 48 MP grid HEIC (1024 × 896 tiles), whole process, settled",
         "open_grid_48mp:settled", "feh", "feh_grid_48mp:settled", "ms", 0.6},
        {"2. open 12 MP AVIF, whole process, settled", "open_avif:settled", "feh",
         "feh_avif:settled", "ms", 1.0},
        {"2. open 12 MP JPEG XL, whole process, settled", "open_jxl:settled", "feh",
         "feh_jxl:settled", "ms", 1.0},
        {"2. open 100 MP JPEG, whole process, settled", "open_100mp:settled", "feh",
         "feh_100mp:settled", "ms", 0},
        {"2. open 30000² JPEG, whole process, settled", "open_30000:settled", "feh",
         "feh_30000:settled", "ms", 0},
        {"3. resize step with repaint, 24 MP", "resize/kavelora_step",
         "QImage::scaled smooth of the frame", "resize/naive_scaled", "ms", 0.2},
        {"3. repaint at fixed size, inside the paint event",
         "repaint/kavelora_paint_event/manual_time", "copy of the frame", "repaint/frame_copy",
         "ms", 1.5},
        {"4. start to splash settled", "start_kavelora:settled", "bare Qt window + label",
         "start_bare:settled", "ms", 1.3},
        {"4. floor, in the Kavelora column: bare Qt window + label + the same captions",
         "start_captions:settled", "bare Qt window + label", "start_bare:settled", "ms", 0},
        {"4. start to splash settled, against that floor", "start_kavelora:settled",
         "bare Qt window + label + the same captions", "start_captions:settled", "ms", 0},
        {"5. peak memory, 24 MP JPEG shown", "open_24mp:rss", "feh", "feh_24mp:rss", "MiB", 0.4},
        {"5. peak memory, 24 MP JPEG opened through the open dialog (viewer and helper together)",
         "dialog_24mp:rss", "feh", "feh_24mp:rss", "MiB", 0.4},
        {"5. peak memory, 100 MP JPEG shown", "open_100mp:rss", "feh", "feh_100mp:rss", "MiB", 0.5},
        {"5. peak memory, 30000² JPEG shown", "open_30000:rss", "feh", "feh_30000:rss", "MiB", 0.5},
        {"5. peak memory, 12 MP PNG shown", "open_png:rss", "feh", "feh_png:rss", "MiB", 0.4},
        {"5. peak memory, 12 MP lossy WebP shown", "open_webp_lossy:rss", "feh",
         "feh_webp_lossy:rss", "MiB", 0.5},
        {"5. peak memory, 12 MP lossless WebP shown", "open_webp_lossless:rss", "feh",
         "feh_webp_lossless:rss", "MiB", 0.5},
        {"5. peak memory, 12 MP TIFF shown", "open_tiff:rss", "feh", "feh_tiff:rss", "MiB", 0.5},
        {"5. peak memory, 12 MP GIF shown", "open_gif:rss", "feh", "feh_gif:rss", "MiB", 0.5},
        {"5. peak memory, 12 MP HEIC shown", "open_heic:rss", "feh", "feh_heic:rss", "MiB", 0.6},
        {"5. peak memory, 12 MP grid HEIC shown", "open_grid_12mp:rss", "feh", "feh_grid_12mp:rss",
         "MiB", 0.4},
        {"5. peak memory, 48 MP grid HEIC shown", "open_grid_48mp:rss", "feh", "feh_grid_48mp:rss",
         "MiB", 0.4},
        {"5. peak memory, 12 MP AVIF shown", "open_avif:rss", "feh", "feh_avif:rss", "MiB", 0.5},
        {"5. peak memory, 12 MP JPEG XL shown", "open_jxl:rss", "feh", "feh_jxl:rss", "MiB", 0.5},
        {"5. peak memory at start, splash shown", "start_kavelora:rss", "bare Qt window + label",
         "start_bare:rss", "MiB", 0},
        {"6. print 24 MP JPEG to PDF, time", "print_kavelora:settled", "naive print",
         "print_naive:settled", "ms", 0.5},
        {"6. print 24 MP JPEG to PDF, peak memory", "print_kavelora:rss", "naive print",
         "print_naive:rss", "MiB", 0.5},
    };
    const std::vector<Excess> excesses = {
        {"1. open 24 MP JPEG through the decoder helper", "open/kavelora/photo_24mp.jpg",
         "the same decode in-process", "open/in_process/photo_24mp.jpg", "ms", 2},
        {"1. open 12 MP PNG through the decoder helper", "open/kavelora/photo_12mp.png",
         "the same decode in-process", "open/in_process/photo_12mp.png", "ms", 2},
    };
    const std::vector<Threshold> thresholds = {
        {"3. settled frame quality (PSNR vs area average)", "quality/24mp:settled_db", "dB", 45},
        {"3. frame quality during a resize", "quality/24mp:resizing_db", "dB", 0},
        {"3. naive frame quality", "quality/24mp:naive_db", "dB", 0},
        {"3. time inside the paint event during a resize step", "resize/kavelora_step:paint_ms",
         "ms", 0},
    };

    QTextStream out(stdout);
    out << "| figure | Kavelora, median (range) | baseline | baseline, median (range) | ratio "
           "| target | met |\n|---|---|---|---|---|---|---|\n";
    int missed = 0;
    for (const Comparison& row : comparisons) {
        const auto measured = summarise(samples.value(QString::fromLatin1(row.measured)));
        const auto baseline = summarise(samples.value(QString::fromLatin1(row.baseline)));
        QString ratio = QStringLiteral("–");
        QString met = QStringLiteral("–");
        if (measured && baseline && baseline->median > 0) {
            const double value = measured->median / baseline->median;
            // A miss by less than the rounding shows its third decimal, not the target itself.
            const bool hiddenMiss = row.targetRatio > 0 && value > row.targetRatio &&
                                    std::round(value * 100) / 100 <= row.targetRatio;
            ratio = QStringLiteral("%1 ×").arg(value, 0, 'f', hiddenMiss ? 3 : 2);
            if (row.targetRatio > 0) {
                met = value <= row.targetRatio ? QStringLiteral("yes") : QStringLiteral("**no**");
                missed += value <= row.targetRatio ? 0 : 1;
            }
        }
        const QString target = row.targetRatio > 0 ? QStringLiteral("≤ %1 ×").arg(row.targetRatio)
                                                   : QStringLiteral("(reference)");
        out << "| " << row.title << " | " << figure(measured, row.unit) << " | "
            << row.baselineTitle << " | " << figure(baseline, row.unit) << " | " << ratio << " | "
            << target << " | " << met << " |\n";
    }
    for (const Excess& row : excesses) {
        const auto measured = summarise(samples.value(QString::fromLatin1(row.measured)));
        const auto baseline = summarise(samples.value(QString::fromLatin1(row.baseline)));
        QString difference = QStringLiteral("–");
        QString met = QStringLiteral("–");
        if (measured && baseline) {
            const double excess = measured->median - baseline->median;
            difference = QStringLiteral("%1%2 %3")
                             .arg(excess >= 0 ? QStringLiteral("+") : QString())
                             .arg(excess, 0, 'f', 2)
                             .arg(QString::fromLatin1(row.unit));
            met = excess <= row.maxExcess ? QStringLiteral("yes") : QStringLiteral("**no**");
            missed += excess <= row.maxExcess ? 0 : 1;
        }
        out << "| " << row.title << " | " << figure(measured, row.unit) << " | "
            << row.baselineTitle << " | " << figure(baseline, row.unit) << " | " << difference
            << " | ≤ +" << row.maxExcess << ' ' << row.unit << " | " << met << " |\n";
    }
    for (const Threshold& row : thresholds) {
        const auto measured = summarise(samples.value(QString::fromLatin1(row.measured)));
        QString met = QStringLiteral("–");
        if (measured && row.minimum > 0) {
            met =
                measured->median >= row.minimum ? QStringLiteral("yes") : QStringLiteral("**no**");
            missed += measured->median >= row.minimum ? 0 : 1;
        }
        const QString target =
            row.minimum > 0
                ? QStringLiteral("≥ %1 %2").arg(row.minimum).arg(QString::fromLatin1(row.unit))
                : QStringLiteral("(reference)");
        out << "| " << row.title << " | " << figure(measured, row.unit) << " | – | – | – | "
            << target << " | " << met << " |\n";
    }
    out << "\nTargets missed: " << missed << "\n";
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: bench_report IN_PROCESS.json WHOLE_PROCESS.tsv\n");
        return 2;
    }
    Samples samples;
    if (!readInProcess(QString::fromLocal8Bit(argv[1]), samples))
        std::fprintf(stderr, "bench_report: no in-process figures in %s\n", argv[1]);
    if (!readWholeProcess(QString::fromLocal8Bit(argv[2]), samples))
        std::fprintf(stderr, "bench_report: no whole-process figures in %s\n", argv[2]);
    return printTable(samples);
}
