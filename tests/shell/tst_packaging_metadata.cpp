// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT

// Checks the generated desktop entry, AppStream metainfo, launcher icons, man page and
// changelog: they carry the values of the version record and the application identity that the
// program itself uses, and the file types the decoder's table opens. (Debian's validators run
// on them in validate_generated_file.sh.)

#include "shell/application_identity.h"
#include "shell/version_record.h"
#include "test_files.h"

#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QHash>
#include <QImage>
#include <QRegularExpression>
#include <QXmlStreamReader>
#include <QtTest>

#ifndef KAVELORA_PACKAGING_BUILD_DIR
#error "KAVELORA_PACKAGING_BUILD_DIR must name the folder holding the generated packaging files"
#endif
#ifndef KAVELORA_FORMAT_LISTS_DIR
#error "KAVELORA_FORMAT_LISTS_DIR must name the folder of the lists made from the format table"
#endif

namespace kavelora::tests {

using namespace Qt::StringLiterals;

namespace {

using KeyValues = QHash<QString, QString>;

QString generatedPath(const QString& name)
{
    return QDir(QStringLiteral(KAVELORA_PACKAGING_BUILD_DIR)).filePath(name);
}

QString applicationId()
{
    return QString::fromUtf16(shell::kApplicationId);
}

// The [Desktop Entry] group as key=value pairs; a repeated key is reported in `problem`.
KeyValues parseDesktopEntry(const QString& text, QString& problem)
{
    KeyValues entries;
    bool inMainGroup = false;
    for (const QString& line : text.split(u'\n')) {
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[')) {
            inMainGroup = line == QStringLiteral("[Desktop Entry]");
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (!inMainGroup || equals <= 0)
            continue;
        const QString key = line.left(equals);
        if (entries.contains(key))
            problem = QStringLiteral("key %1 appears twice").arg(key);
        entries.insert(key, line.mid(equals + 1));
    }
    return entries;
}

// The metainfo's values, keyed by element path with the language appended ("summary[ja]") and
// attributes after a slash ("release/version").
KeyValues parseMetainfo(const QString& text, QString& problem)
{
    KeyValues values;
    QXmlStreamReader xml(text);
    QStringList path;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            path.append(xml.name().toString());
            const QString element = path.mid(1).join(u'.');
            const QString language = xml.attributes().value(u"xml:lang"_s).toString();
            for (const QXmlStreamAttribute& attribute : xml.attributes()) {
                if (attribute.qualifiedName() != u"xml:lang"_s)
                    values.insert(element + u'/' + attribute.name().toString(),
                                  attribute.value().toString());
            }
            // Containers hold only elements; everything else is read as one value.
            static const QStringList containers = {u""_s, u"description"_s, u"provides"_s,
                                                   u"releases"_s, u"categories"_s};
            if (!containers.contains(element)) {
                const QString key = language.isEmpty() ? element : element + u'[' + language + u']';
                values.insert(key, xml.readElementText(QXmlStreamReader::SkipChildElements));
                path.removeLast();
            }
        } else if (xml.isEndElement()) {
            path.removeLast();
        }
    }
    if (xml.hasError())
        problem = xml.errorString();
    return values;
}

// The MIME types the decoder's table opens, in its order, from the list the build made of it.
QStringList tableMimeTypes()
{
    const QString list = QString::fromUtf8(
        readFile(QDir(QStringLiteral(KAVELORA_FORMAT_LISTS_DIR)).filePath(u"mime_types.txt"_s)));
    return list.split(u'\n', Qt::SkipEmptyParts);
}

// The text of every <mediatype> the metainfo provides, in its order.
QStringList providedMediaTypes(const QString& metainfoText)
{
    QStringList mediaTypes;
    QXmlStreamReader xml(metainfoText);
    QStringList path;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            if (xml.name() == u"mediatype"_s && !path.isEmpty() &&
                path.constLast() == u"provides"_s)
                mediaTypes << xml.readElementText();
            else
                path << xml.name().toString();
        } else if (xml.isEndElement()) {
            path.removeLast();
        }
    }
    return mediaTypes;
}

// The source row or column under the centre of target pixel `index` when `sourcePixels` are
// stretched over `targetPixels`.
int sourceIndex(int index, int sourcePixels, int targetPixels)
{
    const int numerator = (2 * index + 1) * sourcePixels;
    const int denominator = 2 * targetPixels;
    return (numerator + denominator - 1) / denominator - 1;
}

} // namespace

class TestPackagingMetadata : public QObject
{
    Q_OBJECT

private:
    KeyValues m_desktopEntry;
    KeyValues m_metainfo;
    QStringList m_metainfoMediaTypes;
    QStringList m_tableMimeTypes;

private Q_SLOTS:
    void initTestCase()
    {
        shell::applyApplicationIdentity();
        QString problem;
        const QString desktopText =
            QString::fromUtf8(readFile(generatedPath(applicationId() + u".desktop"_s)));
        QVERIFY2(!desktopText.isEmpty(), "the desktop entry was not generated");
        m_desktopEntry = parseDesktopEntry(desktopText, problem);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        const QString metainfoText =
            QString::fromUtf8(readFile(generatedPath(applicationId() + u".metainfo.xml"_s)));
        QVERIFY2(!metainfoText.isEmpty(), "the metainfo was not generated");
        m_metainfo = parseMetainfo(metainfoText, problem);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        m_metainfoMediaTypes = providedMediaTypes(metainfoText);
        m_tableMimeTypes = tableMimeTypes();
        QVERIFY2(!m_tableMimeTypes.isEmpty(), "the build made no list of MIME types");
    }

    void desktopEntry_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected");
        const QString name = shell::versionValue(u"InternalName");
        QTest::newRow("desktop entry format version Debian 12 validates")
            << u"Version"_s << u"1.4"_s;
        QTest::newRow("name is the internal name") << u"Name"_s << name;
        QTest::newRow("Japanese name") << u"Name[ja]"_s << name;
        QTest::newRow("Japanese comment is the file description")
            << u"Comment[ja]"_s << shell::versionValue(u"FileDescription");
        QTest::newRow("icon is the application id") << u"Icon"_s << applicationId();
        QTest::newRow("window class is Qt's application name")
            << u"StartupWMClass"_s << QCoreApplication::applicationName();
        QTest::newRow("started with the one file it is handed") << u"Exec"_s << u"kavelora %f"_s;
        QTest::newRow("shown only where the program is installed") << u"TryExec"_s << u"kavelora"_s;
        QTest::newRow("graphics viewer") << u"Categories"_s << u"Graphics;Viewer;"_s;
    }

    void desktopEntry()
    {
        QFETCH(QString, key);
        QFETCH(QString, expected);
        QCOMPARE(m_desktopEntry.value(key), expected);
    }

    // What the desktop offers Kavelora for in "Open With" and what software centres say it
    // opens: exactly the MIME types of the decoder's table, in its order, each ended by ';'.
    void listsTheTypesItOpens_data()
    {
        QTest::addColumn<QString>("listed");
        QTest::newRow("desktop entry's MimeType") << m_desktopEntry.value(u"MimeType"_s);
        QTest::newRow("metainfo's media types") << m_metainfoMediaTypes.join(u';') + u';';
    }

    void listsTheTypesItOpens()
    {
        QFETCH(QString, listed);
        QCOMPARE(listed, m_tableMimeTypes.join(u';') + u';');
    }

    void desktopEntryMatchesRuntimeIdentity()
    {
        QCOMPARE(QGuiApplication::desktopFileName(), applicationId());
        // Exec starts the program TryExec looks for.
        QCOMPARE(m_desktopEntry.value(u"Exec"_s).section(u' ', 0, 0),
                 m_desktopEntry.value(u"TryExec"_s));
        // The English texts must be translations, not the Japanese copied across.
        for (const QString& key : {u"Comment"_s, u"GenericName"_s}) {
            const QString value = m_desktopEntry.value(key);
            QVERIFY2(!value.isEmpty(), qPrintable(key));
            for (const QChar character : value)
                QVERIFY2(character.unicode() < 0x80, qPrintable(key + u": "_s + value));
        }
    }

    void metainfo_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected");
        const QString name = shell::versionValue(u"InternalName");
        QTest::newRow("id is the application id") << u"id"_s << applicationId();
        QTest::newRow("launches the desktop entry")
            << u"launchable"_s << applicationId() + u".desktop"_s;
        QTest::newRow("launchable kind") << u"launchable/type"_s << u"desktop-id"_s;
        QTest::newRow("provides the binary") << u"provides.binary"_s << u"kavelora"_s;
        QTest::newRow("developer is the company")
            << u"developer_name"_s << shell::versionValue(u"CompanyName");
        QTest::newRow("release is the product version")
            << u"releases.release/version"_s << shell::versionValue(u"ProductVersion");
        QTest::newRow("name") << u"name"_s << name;
        QTest::newRow("Japanese name") << u"name[ja]"_s << name;
        QTest::newRow("Japanese summary is the file description")
            << u"summary[ja]"_s << shell::versionValue(u"FileDescription");
        QTest::newRow("content rating") << u"content_rating/type"_s << u"oars-1.1"_s;
    }

    void metainfo()
    {
        QFETCH(QString, key);
        QFETCH(QString, expected);
        QCOMPARE(m_metainfo.value(key), expected);
    }

    void metainfoAgreesWithDesktopEntry()
    {
        QCOMPARE(m_metainfo.value(u"summary"_s), m_desktopEntry.value(u"Comment"_s));
        QCOMPARE(m_metainfo.value(u"provides.binary"_s), m_desktopEntry.value(u"TryExec"_s));
        QVERIFY(m_metainfo.value(u"description.p[ja]"_s)
                    .contains(shell::versionValue(u"FileDescription")));
        QVERIFY(m_metainfo.value(u"description.p[ja]"_s)
                    .contains(m_desktopEntry.value(u"GenericName[ja]"_s)));
        QVERIFY(!m_metainfo.value(u"description.p"_s).isEmpty());
        QCOMPARE(QCoreApplication::applicationVersion(),
                 m_metainfo.value(u"releases.release/version"_s));
        QCOMPARE(QCoreApplication::organizationName(), m_metainfo.value(u"developer_name"_s));
    }

    void packageDocumentsCarryTheRelease()
    {
        const QString version = shell::versionValue(u"ProductVersion");
        const QString changelog = QString::fromUtf8(readFile(generatedPath(u"changelog"_s)));
        QVERIFY2(changelog.startsWith(u"kavelora ("_s + version + u") "_s), qPrintable(changelog));
        // The changelog's signature date is the metainfo's release date.
        const QRegularExpressionMatch signature =
            QRegularExpression(u"^ -- .+ <.+>  (.+)$"_s, QRegularExpression::MultilineOption)
                .match(changelog);
        QVERIFY2(signature.hasMatch(), qPrintable(changelog));
        const QDateTime signedAt = QDateTime::fromString(signature.captured(1), Qt::RFC2822Date);
        QVERIFY2(signedAt.isValid(), qPrintable(signature.captured(1)));
        QCOMPARE(signedAt.toUTC().date().toString(Qt::ISODate),
                 m_metainfo.value(u"releases.release/date"_s));

        const QString manPage = QString::fromUtf8(readFile(generatedPath(u"kavelora.1"_s)));
        QVERIFY2(manPage.contains(u".TH KAVELORA 1 \""_s +
                                  m_metainfo.value(u"releases.release/date"_s) + u"\" \""_s +
                                  shell::versionValue(u"InternalName") + u' ' + version + u'"'),
                 qPrintable(manPage.left(300)));
    }

    // The manual page's synopsis takes the files the desktop entry hands the program.
    void manPageSynopsisTakesFiles()
    {
        const QString manPage = QString::fromUtf8(readFile(generatedPath(u"kavelora.1"_s)));
        const qsizetype start = manPage.indexOf(u".SH SYNOPSIS\n"_s);
        QVERIFY2(start >= 0, qPrintable(manPage.left(500)));
        const qsizetype end = manPage.indexOf(u"\n.SH "_s, start);
        QCOMPARE(manPage.mid(start, end - start), u".SH SYNOPSIS\n.B kavelora\n.RI [ FILE ...]"_s);
    }

    // The manual page names every format of the decoder's table, as the list the build made
    // from that table gives them.
    void manPageNamesEveryFormat_data()
    {
        QTest::addColumn<QString>("title");
        const QString titles = QString::fromUtf8(readFile(
            QDir(QStringLiteral(KAVELORA_FORMAT_LISTS_DIR)).filePath(u"format_titles.txt"_s)));
        const QStringList each = titles.split(u'\n', Qt::SkipEmptyParts);
        for (const QString& title : each)
            QTest::newRow(qPrintable(title)) << title;
        // A missing list must not pass as a list with nothing to check.
        if (each.isEmpty())
            QTest::newRow("no list of formats was made") << u"(no list)"_s;
    }

    void manPageNamesEveryFormat()
    {
        QFETCH(QString, title);
        const QString manPage = QString::fromUtf8(readFile(generatedPath(u"kavelora.1"_s)));
        QVERIFY2(!manPage.contains(u"@KAVELORA"_s), "a placeholder was left unfilled");
        const QRegularExpressionMatch list =
            QRegularExpression(u"opens a picture file \\((.+), told by its content\\)"_s)
                .match(manPage);
        QVERIFY2(list.hasMatch(), qPrintable(manPage.left(1000)));
        const QStringList listed =
            list.captured(1).split(QRegularExpression(u", | or "_s), Qt::SkipEmptyParts);
        QVERIFY2(listed.contains(title), qPrintable(list.captured(1)));
    }

    void launcherIcons_data()
    {
        QTest::addColumn<int>("sizePixels");
        QTest::newRow("built-in size") << 32;
        QTest::newRow("one and a half times") << 48;
        QTest::newRow("twice") << 64;
        QTest::newRow("four times") << 128;
    }

    // Each icon pixel is the source pixel under its centre (a centre on a source pixel edge
    // takes the pixel above or to the left), so enlargements keep hard edges and the colours.
    void launcherIcons()
    {
        QFETCH(int, sizePixels);
        QImage source(QDir(QStringLiteral(KAVELORA_ASSETS_DIR)).filePath(u"kavelora.ico"_s));
        QVERIFY(!source.isNull());
        source = source.convertToFormat(QImage::Format_ARGB32);
        const QString path = generatedPath(
            QStringLiteral("icons/%1x%1/apps/%2.png").arg(sizePixels).arg(applicationId()));
        QImage icon(path);
        QVERIFY2(!icon.isNull(), qPrintable(path));
        QCOMPARE(icon.size(), QSize(sizePixels, sizePixels));
        icon = icon.convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < sizePixels; ++y) {
            const int sourceY = sourceIndex(y, source.height(), sizePixels);
            for (int x = 0; x < sizePixels; ++x) {
                const int sourceX = sourceIndex(x, source.width(), sizePixels);
                if (icon.pixel(x, y) != source.pixel(sourceX, sourceY))
                    QFAIL(qPrintable(QStringLiteral("pixel (%1, %2) is %3, expected %4")
                                         .arg(x)
                                         .arg(y)
                                         .arg(icon.pixel(x, y), 8, 16)
                                         .arg(source.pixel(sourceX, sourceY), 8, 16)));
            }
        }
    }
};

} // namespace kavelora::tests

QTEST_MAIN(kavelora::tests::TestPackagingMetadata)
#include "tst_packaging_metadata.moc"
