// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT

// The size a HEIF grid declares, read before libheif makes a picture that large: from the
// committed one-tile grid (a 64 x 64 tile cropped to 24 x 16, its descriptor in idat) and from
// lying and broken variants of it.

#include "byte_fields.h"
#include "decoder/formats/heif/heif_grid.h"

#include <QFile>
#include <QTest>

#include <optional>

using kavelora::decoder::heifGridSize;

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
        QTest::newRow("a grid larger than its item claims")
            << u"raised"_qs << std::optional(QSize(65000, 1040));
        QTest::newRow("32-bit sides past the grid's data")
            << u"32-bit sides"_qs << std::optional(QSize());
        // As libheif reads it: on past idat's end into the next box.
        QTest::newRow("a grid's data starting in idat's last byte")
            << u"late start"_qs << std::optional(QSize(0x3869, 0x6C6F));
        QTest::newRow("a primary picture that is no grid")
            << u"tile primary"_qs << std::optional<QSize>();
        QTest::newRow("item locations cut short") << u"iloc cut"_qs << std::optional<QSize>();
        QTest::newRow("a grid kept in a missing idat") << u"no idat"_qs << std::optional(QSize());
    }

    void readsTheDeclaredSize()
    {
        QFETCH(QString, variant);
        QFETCH(std::optional<QSize>, size);
        QCOMPARE(heifGridSize(this->variant(variant)), size);
    }

    void readsNothingFromAnyCutOfTheFile()
    {
        // Every head of the file reads without going past it (AddressSanitizer watches), and
        // only one holding the descriptor gives a size.
        for (qsizetype length = 0; length < m_grid.size(); ++length) {
            const QByteArray head = m_grid.left(length);
            const std::optional<QSize> size = heifGridSize(head);
            if (size)
                QCOMPARE(*size, QSize(24, 16));
        }
    }
};

QTEST_APPLESS_MAIN(HeifGridTest)
#include "tst_heif_grid.moc"
