// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT

// hostile_corpus DIR: writes the hostile-input corpus, the same on every run, under DIR:
//   DIR/hostile  files and file-system entries that no picture loader may crash, hang or
//                exhaust memory on (a few hundred, named after what they exercise);
//   DIR/seeds    the valid seed pictures they are made from (also the fuzzer's seed corpus);
//   DIR/print    the largest picture the loader admits, for the printing path.

#include "hostile_entries.h"
#include "seeded_random.h"
#include "test_files.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>

#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

using namespace kavelora::hostile;
using kavelora::tests::SeededRandom;
using kavelora::tests::writeFile;

namespace {

constexpr int kFlipsPerSeed = 8;
constexpr qsizetype kRandomFileBytes = 1000;
constexpr off_t kSparseFileBytes = 5LL << 30;

const char* const kExtensions[] = {"png", "jpg", "jpeg", "bmp",  "dib", "ico", "cur",
                                   "gif", "tif", "tiff", "webp", "pbm", "pgm", "ppm",
                                   "xbm", "xpm", "svg",  "txt",  ""};

QList<Entry> truncations(const Seed& seed)
{
    const qsizetype size = seed.bytes.size();
    const std::set<qsizetype> cuts = {1, 8, 16, size / 4, size / 2, size * 3 / 4, size - 1};
    QList<Entry> entries;
    for (qsizetype cut : cuts) {
        if (cut > 0 && cut < size)
            entries.append({QStringLiteral("cut-at-%1.%2").arg(cut).arg(seed.extension),
                            seed.bytes.left(cut)});
    }
    return entries;
}

// Half the flips land in the first 64 bytes, where the headers are.
QList<Entry> bitFlips(const Seed& seed, int seedIndex)
{
    SeededRandom random(static_cast<std::uint64_t>(seedIndex) + 1);
    QList<Entry> entries;
    for (int i = 0; i < kFlipsPerSeed; ++i) {
        const qsizetype span =
            i % 2 == 0 ? std::min<qsizetype>(64, seed.bytes.size()) : seed.bytes.size();
        const auto at = static_cast<qsizetype>(random.next() % static_cast<quint32>(span));
        const int bit = static_cast<int>(random.next() % 8);
        QByteArray flipped = seed.bytes;
        flipped[at] = static_cast<char>(flipped[at] ^ (1 << bit));
        entries.append(
            {QStringLiteral("flip-byte-%1-bit-%2.%3").arg(at).arg(bit).arg(seed.extension),
             flipped});
    }
    return entries;
}

QString withExtension(const QString& stem, const char* extension)
{
    return *extension ? stem + u'.' + QLatin1String(extension) : stem;
}

QList<Entry> emptyAndRandomFiles(const QList<Seed>& seeds)
{
    QList<Entry> entries;
    SeededRandom random(1000);
    for (const char* extension : kExtensions) {
        entries.append({withExtension(QStringLiteral("zero-bytes"), extension), {}});
        entries.append(
            {withExtension(QStringLiteral("random"), extension), random.bytes(kRandomFileBytes)});
    }
    // Random bytes behind a real signature reach the decoders themselves.
    for (const Seed& seed : seeds) {
        entries.append({QStringLiteral("random-after-signature.") + seed.extension,
                        seed.bytes.left(16) + random.bytes(kRandomFileBytes)});
    }
    return entries;
}

// Entries that are not ordinary small files; their names are raw bytes.
bool writeFileSystemEntries(const QByteArray& dir, const QByteArray& picture)
{
    const auto at = [&dir](const char* name) { return dir + '/' + name; };
    const auto writeRaw = [&](const QByteArray& path, const QByteArray& bytes) {
        const int descriptor = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (descriptor < 0)
            return false;
        const bool written =
            ::write(descriptor, bytes.constData(), static_cast<size_t>(bytes.size())) ==
            static_cast<ssize_t>(bytes.size());
        return ::close(descriptor) == 0 && written;
    };
    bool ok = ::mkdir(at("folder.png").constData(), 0755) == 0;
    ok = ok && ::mkfifo(at("fifo.png").constData(), 0644) == 0;
    ok = ok && ::symlink("no-such-file.png", at("dangling-link.png").constData()) == 0;
    ok = ok && ::symlink("link-loop-b.png", at("link-loop-a.png").constData()) == 0;
    ok = ok && ::symlink("link-loop-a.png", at("link-loop-b.png").constData()) == 0;
    ok = ok && ::symlink("/dev/zero", at("link-to-dev-zero.png").constData()) == 0;
    ok = ok && ::symlink("/dev/urandom", at("link-to-dev-urandom.png").constData()) == 0;
    // A picture's first bytes, then gigabytes of holes that read as zeros.
    ok = ok && writeRaw(at("sparse-5GiB.png"), picture.left(64)) &&
         ::truncate(at("sparse-5GiB.png").constData(), kSparseFileBytes) == 0;
    ok = ok && writeRaw(at("name-with\nnewline.png"), picture);
    ok = ok && writeRaw(at("name-not-utf8-\xff\xfe.png"), picture);
    return ok;
}

bool writeAll(const QString& dir, const QList<Entry>& entries)
{
    for (const Entry& entry : entries) {
        if (!writeFile(dir + u'/' + entry.name, entry.bytes)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(entry.name));
            return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::fputs("usage: hostile_corpus DIR\n", stderr);
        return 64;
    }
    // Qt's image writers need the application's plugin paths; nothing is shown.
    QGuiApplication application(argc, argv);
    const QDir root(QFile::decodeName(argv[1]));
    for (const char* part : {"hostile", "seeds", "print"}) {
        // By raw names, links not followed: QDir cannot name what is not UTF-8.
        std::error_code ignored;
        std::filesystem::remove_all(
            QFile::encodeName(root.filePath(QLatin1String(part))).toStdString(), ignored);
        if (!root.mkpath(QLatin1String(part))) {
            std::fprintf(stderr, "cannot make %s\n", part);
            return 1;
        }
    }
    const QString hostile = root.filePath(QStringLiteral("hostile"));

    const QList<Seed> seeds = seedPictures();
    QList<Entry> entries;
    QList<Entry> seedFiles;
    for (qsizetype i = 0; i < seeds.size(); ++i) {
        if (seeds[i].bytes.isEmpty()) {
            std::fprintf(stderr, "no seed for %s\n", qPrintable(seeds[i].extension));
            return 1;
        }
        seedFiles.append({QStringLiteral("seed.") + seeds[i].extension, seeds[i].bytes});
        entries += truncations(seeds[i]);
        entries += bitFlips(seeds[i], static_cast<int>(i));
    }
    entries += emptyAndRandomFiles(seeds);
    entries += sizeClaims(seeds);
    entries += decompressionBombs();
    entries += containerLies(seeds);

    if (!writeAll(root.filePath(QStringLiteral("seeds")), seedFiles) ||
        !writeAll(hostile, entries) ||
        !writeAll(root.filePath(QStringLiteral("print")), {largestAdmittedPicture()}) ||
        !writeFileSystemEntries(QFile::encodeName(hostile), seeds.first().bytes)) {
        std::fputs("cannot write the corpus\n", stderr);
        return 1;
    }
    const auto count =
        QDir(hostile).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot).size();
    std::printf("%lld hostile entries, %lld seeds in %s\n", static_cast<long long>(count),
                static_cast<long long>(seedFiles.size()), argv[1]);
    return 0;
}
