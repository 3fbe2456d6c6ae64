// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "shell/application_identity.h"
#include "shell/version_record.h"

#include <QCoreApplication>
#include <QFile>
#include <QTest>
#include <QVersionNumber>

#include <array>

using namespace kavelora::shell;

class TestVersionRecord : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void entriesInStoredOrder_data();
    void entriesInStoredOrder();
    void everyLineOfTheTableIsAnEntry();
    void unknownKeyIsEmpty();
    void versionsAreOnePointZero_data();
    void versionsAreOnePointZero();
    void applicationIdentityComesFromTheRecord();
};

void TestVersionRecord::entriesInStoredOrder_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");

    const std::array<std::pair<const char16_t*, const char16_t*>, 9> expected{{
        {u"Comments", u"画像ビューワ？？？"},
        {u"CompanyName", u"ternwick"},
        {u"FileDescription", u"アイコン・ＧＩＦ・ＪＰＧなど画像関係の表示と印刷"},
        {u"LegalCopyright", u"Copyright (C) 2026 ternwick"},
        {u"ProductName", u"Project1"},
        {u"FileVersion", u"1.00"},
        {u"ProductVersion", u"1.00"},
        {u"InternalName", u"Kavelora"},
        {u"OriginalFilename", u"Kavelora.exe"},
    }};
    for (int i = 0; i < int(expected.size()); ++i) {
        const QString key = QString::fromUtf16(expected[std::size_t(i)].first);
        QTest::newRow(qPrintable(key))
            << i << key << QString::fromUtf16(expected[std::size_t(i)].second);
    }
}

void TestVersionRecord::entriesInStoredOrder()
{
    QFETCH(int, index);
    QFETCH(QString, key);
    QFETCH(QString, value);
    const VersionEntry& entry = versionEntries()[std::size_t(index)];
    QCOMPARE(QString::fromUtf16(entry.key.data(), qsizetype(entry.key.size())), key);
    QCOMPARE(QString::fromUtf16(entry.value.data(), qsizetype(entry.value.size())), value);
    QCOMPARE(versionValue(key.toStdU16String()), value);
}

void TestVersionRecord::everyLineOfTheTableIsAnEntry()
{
    QFile table(QStringLiteral(KAVELORA_VERSION_RECORD_TABLE));
    QVERIFY2(table.open(QIODevice::ReadOnly), qPrintable(table.fileName()));
    QStringList fromTable;
    for (const QString& line : QString::fromUtf8(table.readAll()).split(u'\n')) {
        if (!line.isEmpty() && !line.startsWith(u'#'))
            fromTable << line;
    }
    QStringList built;
    for (const VersionEntry& entry : versionEntries()) {
        built << QString::fromUtf16(entry.key.data(), qsizetype(entry.key.size())) + u'\t' +
                     QString::fromUtf16(entry.value.data(), qsizetype(entry.value.size()));
    }
    QCOMPARE(built, fromTable);
}

void TestVersionRecord::unknownKeyIsEmpty()
{
    QVERIFY(versionValue(u"SpecialBuild").isEmpty());
    QVERIFY(versionValue(u"").isEmpty());
}

void TestVersionRecord::versionsAreOnePointZero_data()
{
    QTest::addColumn<QString>("key");
    QTest::newRow("file version") << QStringLiteral("FileVersion");
    QTest::newRow("product version") << QStringLiteral("ProductVersion");
}

// Read as numbers, as the package and the application identity read them: 1.0.0.0.
void TestVersionRecord::versionsAreOnePointZero()
{
    QFETCH(QString, key);
    const QVersionNumber version = QVersionNumber::fromString(versionValue(key.toStdU16String()));
    QCOMPARE(version.normalized(), QVersionNumber(1));
    QCOMPARE(version.majorVersion(), 1);
    QCOMPARE(version.minorVersion(), 0);
}

void TestVersionRecord::applicationIdentityComesFromTheRecord()
{
    applyApplicationIdentity();
    QCOMPARE(QCoreApplication::applicationName(), QStringLiteral("Kavelora"));
    QCOMPARE(QCoreApplication::applicationVersion(), QStringLiteral("1.00"));
    QCOMPARE(QCoreApplication::organizationName(), QStringLiteral("ternwick"));
}

QTEST_GUILESS_MAIN(TestVersionRecord)
#include "tst_version_record.moc"
