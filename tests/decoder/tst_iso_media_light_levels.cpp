// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT

// The light levels an HEIF or AVIF container states for its primary picture, and containers
// whose boxes lie about their sizes, counts and indices.

#include "decoder/common/iso_media_light_levels.h"

#include <QTest>
#include <QtEndian>

using kavelora::decoder::statedLightLevels;

namespace {

QByteArray bigEndian(quint64 value, int bytes)
{
    QByteArray field(bytes, '\0');
    for (int i = bytes - 1; i >= 0; --i, value >>= 8)
        field[i] = static_cast<char>(value & 0xFF);
    return field;
}

QByteArray box(const char* type, const QByteArray& body)
{
    return bigEndian(quint64(8 + body.size()), 4) + QByteArray(type) + body;
}

QByteArray fullBox(const char* type, int version, int flags, const QByteArray& body)
{
    return box(type, bigEndian(quint64(version), 1) + bigEndian(quint64(flags), 3) + body);
}

QByteArray pitm(quint32 item, int version = 0)
{
    return fullBox("pitm", version, 0, bigEndian(item, version == 0 ? 2 : 4));
}

const QByteArray kIspe = fullBox("ispe", 0, 0, bigEndian(64, 4) + bigEndian(48, 4));
const QByteArray kClli = box("clli", bigEndian(1000, 2) + bigEndian(400, 2));
// BT.2020's primaries and D65 in 0.00002 steps, a 4000 cd/m² peak and a 0.005 black.
const QByteArray kMdcv =
    box("mdcv", bigEndian(8500, 2) + bigEndian(39850, 2) + bigEndian(6550, 2) + bigEndian(2300, 2) +
                    bigEndian(35400, 2) + bigEndian(14600, 2) + bigEndian(15635, 2) +
                    bigEndian(16450, 2) + bigEndian(40000000, 4) + bigEndian(50, 4));
const QByteArray kProperties = box("ipco", kIspe + kClli + kMdcv);

// One ipma entry: item, then its property indices (the top bit marks essential ones).
QByteArray ipmaEntry(quint32 item, const QList<int>& indices, bool wide = false, int version = 0)
{
    QByteArray entry =
        bigEndian(item, version == 0 ? 2 : 4) + bigEndian(quint64(indices.size()), 1);
    for (const int index : indices)
        entry += bigEndian(quint64(index), wide ? 2 : 1);
    return entry;
}

QByteArray ipma(const QByteArray& entries, int count, bool wide = false, int version = 0)
{
    return fullBox("ipma", version, wide ? 1 : 0, bigEndian(quint64(count), 4) + entries);
}

QByteArray file(const QByteArray& metaChildren)
{
    return box("ftyp", "avif" + bigEndian(0, 4) + "mif1avif") +
           fullBox("meta", 0, 0, metaChildren) + box("mdat", QByteArray(16, 'x'));
}

QByteArray properties(const QByteArray& association)
{
    return box("iprp", kProperties + association);
}

} // namespace

class TstIsoMediaLightLevels : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readsThePrimaryItemsLevels_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<float>("maxContentLight");
        QTest::addColumn<float>("masteringPeak");
        const QByteArray both = ipma(ipmaEntry(1, {1, 0x82, 3}), 1);
        QTest::newRow("clli and mdcv of the primary item")
            << file(pitm(1) + properties(both)) << 1000.0f << 4000.0f;
        QTest::newRow("a version 1 pitm and ipma, 16-bit indices")
            << file(pitm(1, 1) +
                    properties(ipma(ipmaEntry(1, {1, 2, 0x8003}, true, 1), 1, true, 1)))
            << 1000.0f << 4000.0f;
        QTest::newRow("the levels belong to another item, as a gain map's")
            << file(pitm(1) + properties(ipma(ipmaEntry(1, {1}) + ipmaEntry(2, {2, 3}), 2))) << 0.0f
            << 0.0f;
        QTest::newRow("pitm after iprp") << file(properties(both) + pitm(1)) << 1000.0f << 4000.0f;
        QTest::newRow("no primary item named") << file(properties(both)) << 0.0f << 0.0f;
        QTest::newRow("an index past the properties")
            << file(pitm(1) + properties(ipma(ipmaEntry(1, {2, 9}), 1))) << 1000.0f << 0.0f;
        QTest::newRow("index 0, which names nothing")
            << file(pitm(1) + properties(ipma(ipmaEntry(1, {0}), 1))) << 0.0f << 0.0f;
        QTest::newRow("ipma counting more entries than it holds")
            << file(pitm(1) + properties(ipma(ipmaEntry(1, {2, 3}), 1000000))) << 1000.0f
            << 4000.0f;
        QTest::newRow("ipma cut inside its associations")
            << file(pitm(1) + properties(ipma(ipmaEntry(1, {2, 3}).chopped(1), 1))) << 0.0f << 0.0f;
        QByteArray shortClli = file(
            pitm(1) + box("iprp", box("ipco", box("clli", "\x03")) + ipma(ipmaEntry(1, {1}), 1)));
        QTest::newRow("clli too short for its fields") << shortClli << 0.0f << 0.0f;
        QByteArray pastTheEnd = file(pitm(1) + properties(both));
        pastTheEnd.chop(30);
        QTest::newRow("meta running past the end of the file") << pastTheEnd << 0.0f << 0.0f;
        QByteArray toTheEnd = box("ftyp", "avif" + bigEndian(0, 4)) +
                              fullBox("meta", 0, 0, pitm(1) + properties(both));
        toTheEnd.replace(16, 4, bigEndian(0, 4));
        QTest::newRow("meta sized 0, running to the end") << toTheEnd << 1000.0f << 4000.0f;
        const QByteArray metaBody = bigEndian(0, 4) + pitm(1) + properties(both);
        QTest::newRow("meta with a 64-bit size")
            << bigEndian(1, 4) + "meta" + bigEndian(quint64(16 + metaBody.size()), 8) + metaBody
            << 1000.0f << 4000.0f;
        QTest::newRow("a box claiming less than its own header")
            << bigEndian(4, 4) + "meta" + metaBody << 0.0f << 0.0f;
        QTest::newRow("not a container")
            << QByteArray("\xFF\xD8\xFF\xE0 a JPEG", 12) << 0.0f << 0.0f;
        QTest::newRow("nothing") << QByteArray() << 0.0f << 0.0f;
    }
    void readsThePrimaryItemsLevels()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(float, maxContentLight);
        QFETCH(float, masteringPeak);
        const auto levels = statedLightLevels(bytes);
        QCOMPARE(levels.maxContentLight, maxContentLight);
        QCOMPARE(levels.masteringPeak, masteringPeak);
    }
};

QTEST_APPLESS_MAIN(TstIsoMediaLightLevels)
#include "tst_iso_media_light_levels.moc"
