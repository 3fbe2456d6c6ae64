// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT

// A HEIF grid made by another encoder, the committed one-tile grid (a 64 x 64 tile cropped to
// 24 x 16, its descriptor in idat), and lying and broken variants of it, planned: the size the
// grid declares, or the file refused.

#include "byte_fields.h"
#include "decoder/formats/heif/heif_image_plan.h"
#include "platform/runtime_error.h"

#include <QFile>
#include <QTest>

#include <optional>

using kavelora::decoder::heif::GridImage;
using kavelora::decoder::heif::ImagePlan;
using kavelora::decoder::heif::planPrimaryImage;
using kavelora::platform::RuntimeError;

Q_DECLARE_METATYPE(std::optional<QSize>)

namespace {

// The descriptor in idat: a version, flags, the rows and columns less one, then the sides.
constexpr qsizetype kFlagsAfterIdat = 5;
constexpr qsizetype kSidesAfterIdat = 8;
// pitm's item number, after its type, version and flags.
constexpr qsizetype kItemAfterPitm = 8;
// iloc's second item, the grid: its base offset after the type, version and flags, the field
// sizes, the count, the first item's 20 bytes, then the grid's number, method and reference.
constexpr qsizetype kGridBaseAfterIloc = 4 + 4 + 2 + 2 + 20 + 6;

// The primary picture's size when it is a grid; an empty size for any other picture; nullopt
// when the file is refused.
std::optional<QSize> plannedGridSize(const QByteArray& file)
{
    try {
        const ImagePlan plan = planPrimaryImage(file);
        const auto* grid = std::get_if<GridImage>(&plan.nodes.at(plan.primary).content);
        return grid ? grid->outputSize : QSize();
    } catch (const RuntimeError&) {
        return std::nullopt;
    }
}

} // namespace

class HeifGridTest : public QObject
{
    Q_OBJECT

private:
    QByteArray m_grid;

    QByteArray variant(const QString& name) const
    {
        QByteArray bytes = m_grid;
        const qsizetype idat = bytes.indexOf("idat");
        if (name == u"raised") {
            kavelora::tests::put16be(bytes, idat + kSidesAfterIdat, 65000);
            kavelora::tests::put16be(bytes, idat + kSidesAfterIdat + 2, 1040);
        } else if (name == u"32-bit sides") {
            // Its four bytes of sides now read as one 32-bit width, with no room for a height.
            bytes[idat + kFlagsAfterIdat] = 1;
        } else if (name == u"tile primary") {
            kavelora::tests::put16be(bytes, bytes.indexOf("pitm") + kItemAfterPitm, 1);
        } else if (name == u"iloc cut") {
            bytes.truncate(bytes.indexOf("iloc") + 12);
        } else if (name == u"late start") {
            // The grid item's base offset in iloc (version 1, four-byte bases) moves its data
            // to idat's last byte.
            const qsizetype iloc = bytes.indexOf("iloc");
            kavelora::tests::put32be(bytes, iloc + kGridBaseAfterIloc, 7);
        } else if (name == u"no idat") {
            bytes.replace(idat, 4, "free");
        }
        return bytes;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QFile file(QStringLiteral(KAVELORA_FUZZ_SEEDS_DIR "/seed.heic"));
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName()));
        m_grid = file.readAll();
        QVERIFY(m_grid.indexOf("grid") > 0 && m_grid.indexOf("idat") > 0);
    }

    void readsTheDeclaredSize_data()
    {
        QTest::addColumn<QString>("variant");
        QTest::addColumn<std::optional<QSize>>("size");
        QTest::newRow("the grid as encoded") << u"as encoded"_qs << std::optional(QSize(24, 16));
        // One 64 x 64 tile cannot cover it.
        QTest::newRow("a grid larger than its tiles") << u"raised"_qs << std::optional<QSize>();
        QTest::newRow("32-bit sides past the grid's data")
            << u"32-bit sides"_qs << std::optional<QSize>();
        QTest::newRow("a grid's data starting in idat's last byte")
            << u"late start"_qs << std::optional<QSize>();
        QTest::newRow("a primary picture that is no grid")
            << u"tile primary"_qs << std::optional(QSize());
        QTest::newRow("item locations cut short") << u"iloc cut"_qs << std::optional<QSize>();
        QTest::newRow("a grid kept in a missing idat") << u"no idat"_qs << std::optional<QSize>();
    }

    void readsTheDeclaredSize()
    {
        QFETCH(QString, variant);
        QFETCH(std::optional<QSize>, size);
        QCOMPARE(plannedGridSize(this->variant(variant)), size);
    }

    void readsNothingFromAnyCutOfTheFile()
    {
        // Every head of the file is planned without reading past it (AddressSanitizer
        // watches); the file cut anywhere is refused, for its tile's data comes last.
        for (qsizetype length = 0; length < m_grid.size(); ++length)
            QCOMPARE(plannedGridSize(m_grid.left(length)), std::nullopt);
    }
};

QTEST_APPLESS_MAIN(HeifGridTest)
#include "tst_heif_grid.moc"
