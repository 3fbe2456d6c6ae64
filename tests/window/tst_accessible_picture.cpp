// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "picture/built_in_assets.h"
#include "window/accessible_picture.h"
#include "window/image_box.h"

#include <QAccessible>
#include <QtTest>

using kavelora::picture::Picture;

class TestAccessiblePicture : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void describesWhatTheAreaShows_data();
    void describesWhatTheAreaShows();
};

void TestAccessiblePicture::describesWhatTheAreaShows_data()
{
    QTest::addColumn<Picture>("picture");
    QTest::addColumn<QString>("description");
    const QImage pixels(4, 3, QImage::Format_RGB32);
    const auto fromFile = [&pixels](const QString& fileName) {
        return Picture(pixels, 96.0,
                       {QByteArrayLiteral("png"),
                        fileName,
                        kavelora::picture::PictureSource::Origin::UserFile,
                        {},
                        {}});
    };
    QTest::newRow("start picture")
        << kavelora::picture::splashPicture(96.0) << QStringLiteral("起動画面");
    QTest::newRow("opened file, folders left out")
        << fromFile(QStringLiteral("/home/user/写真/夏 の 海.png"))
        << QStringLiteral("夏 の 海.png");
    QTest::newRow("area cleared") << Picture() << QStringLiteral("画像なし");
}

void TestAccessiblePicture::describesWhatTheAreaShows()
{
    QFETCH(Picture, picture);
    QFETCH(QString, description);
    QCOMPARE(kavelora::window::accessiblePictureDescription(picture), description);

    // What a screen reader reads is the widget's accessible interface, not the widget.
    kavelora::window::ImageBox area(nullptr);
    area.setPicture(picture);
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(&area);
    QVERIFY(accessible);
    QCOMPARE(accessible->text(QAccessible::Name), QStringLiteral("画像"));
    QCOMPARE(accessible->text(QAccessible::Description), description);
}

QTEST_MAIN(TestAccessiblePicture)
#include "tst_accessible_picture.moc"
