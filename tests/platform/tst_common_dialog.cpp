// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "modal_driver.h"
#include "platform/japanese_ui.h"
#include "platform/qt_common_dialog.h"
#include "platform/runtime.h"
#include "platform/runtime_error.h"
#include "unexpected_warnings.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QListView>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

using namespace kavelora;
using namespace Qt::StringLiterals;

namespace {

const char* const kWithoutGuardOption = "--dialog-without-keep-no-settings";
void choose(QFileDialog& dialog, const QString& path)
{
    // Typed as the user would: selectFile() leaves a focused name field alone.
    auto* name = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    QVERIFY(name);
    name->setText(path);
    static_cast<QDialog&>(dialog).accept();
    QVERIFY(!dialog.isVisible());
}

// Runs in a child with no guard: shows and accepts one dialog, as the program would.
int showDialogWithoutGuard(int argc, char** argv)
{
    QApplication application(argc, argv);
    const QString path = QString::fromLocal8Bit(argv[2]);
    QWidget window;
    platform::QtCommonDialog dialog(&window, {});
    const tests::ModalDriver<QFileDialog> driver(
        [path](QFileDialog& shown) { choose(shown, path); });
    dialog.ShowOpen();
    return dialog.FileName() == path ? 0 : 1;
}

QStringList entriesOf(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
}

// The pictures in the folder the file-type tests show, beside a text file.
QStringList picturesOfSomeFormats()
{
    return {u"a.heic"_s, u"b.BMP"_s, u"c.dib"_s, u"d.jpeg"_s, u"e.jxl"_s};
}

} // namespace

class TstCommonDialog : public QObject
{
    Q_OBJECT

    QTemporaryDir m_files;
    QString m_picture;
    QWidget m_window;

private Q_SLOTS:
    void initTestCase()
    {
        platform::keepNoSettings();
        QVERIFY(m_files.isValid());
        m_picture = m_files.filePath(QStringLiteral("chosen.png"));
        QImage image(4, 4, QImage::Format_RGB32);
        image.fill(Qt::red);
        QVERIFY(image.save(m_picture));
        QVERIFY(entriesOf(qEnvironmentVariable("XDG_CONFIG_HOME")).isEmpty());
        m_window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&m_window));
    }

    void init() { tests::failOnUnexpectedWarnings(); }

    void openReportsTheChosenFile()
    {
        platform::QtCommonDialog dialog(&m_window, {});
        QCOMPARE(dialog.FileName(), QString());
        const tests::ModalDriver<QFileDialog> driver([&](QFileDialog& shown) {
            QCOMPARE(shown.windowTitle(), QStringLiteral("ファイルを開く"));
            QVERIFY(shown.testOption(QFileDialog::DontUseNativeDialog));
            QCOMPARE(shown.fileMode(), QFileDialog::ExistingFile);
            QCOMPARE(shown.acceptMode(), QFileDialog::AcceptOpen);
            QCOMPARE(shown.nameFilters(), platform::QtCommonDialog::openNameFilters());
            QVERIFY(shown.nameFilters().constLast().startsWith(QStringLiteral("すべて")));
            QVERIFY(shown.isModal());
            QCOMPARE(shown.parentWidget(), &m_window);
            choose(shown, m_picture);
        });
        dialog.ShowOpen();
        QCOMPARE(driver.seen(), 1);
        QCOMPARE(dialog.FileName(), m_picture);
    }

    // The file types, made at build time from the decoder's format table: all pictures first,
    // then each format on a line of its own, then all files.
    void openFileTypes_data()
    {
        QTest::addColumn<int>("position");
        QTest::addColumn<QString>("filter");
        QTest::addColumn<int>("lineCount");
        const QList<std::pair<const char*, const char*>> formats = {
            {"HEIC/HEIF", "*.heic *.heif"},
            {"AVIF", "*.avif"},
            {"JPEG XL", "*.jxl"},
            {"ビットマップ", "*.bmp *.dib"},
            {"アイコン", "*.ico"},
            {"カーソル", "*.cur"},
            {"GIF", "*.gif"},
            {"JPEG", "*.jpg *.jpeg *.jpe"},
            {"PNG", "*.png"},
            {"WebP", "*.webp"},
            {"TIFF", "*.tif *.tiff"},
            {"XPM", "*.xpm"},
            {"PBM", "*.pbm"},
            {"PGM", "*.pgm"},
            {"PPM", "*.ppm"},
            {"XBM", "*.xbm"},
        };
        const int lineCount = static_cast<int>(formats.size()) + 2;
        QStringList everyPattern;
        for (const auto& [title, patterns] : formats)
            everyPattern << QString::fromUtf8(patterns);
        QTest::newRow("all pictures first, every pattern of every format")
            << 0 << QStringLiteral("画像ファイル (%1)").arg(everyPattern.join(u' ')) << lineCount;
        int position = 1;
        for (const auto& [title, patterns] : formats) {
            const QString filter = QStringLiteral("%1 (%2)").arg(QString::fromUtf8(title),
                                                                 QString::fromUtf8(patterns));
            QTest::newRow(qPrintable(filter)) << position++ << filter << lineCount;
        }
        QTest::newRow("all files last") << position << QStringLiteral("すべて (*)") << lineCount;
    }

    void openFileTypes()
    {
        QFETCH(int, position);
        QFETCH(QString, filter);
        QFETCH(int, lineCount);
        const QStringList filters = platform::QtCommonDialog::openNameFilters();
        QCOMPARE(filters.value(position), filter);
        QCOMPARE(filters.size(), lineCount);
    }

    // Choosing a file type shows the files it names and hides the others.
    void fileTypeShowsItsFiles_data()
    {
        QTest::addColumn<int>("position");
        QTest::addColumn<QStringList>("shownFiles");
        const QStringList pictures = picturesOfSomeFormats();
        QTest::newRow("all pictures") << 0 << pictures;
        QTest::newRow("HEIC/HEIF, a title with a slash") << 1 << QStringList{u"a.heic"_s};
        QTest::newRow("bitmap, two patterns, any case") << 4 << QStringList{u"b.BMP"_s, u"c.dib"_s};
        QTest::newRow("JPEG XL, no other JPEG") << 3 << QStringList{u"e.jxl"_s};
        QTest::newRow("all files") << -1 << pictures + QStringList{u"notes.txt"_s};
    }

    void fileTypeShowsItsFiles()
    {
        QFETCH(int, position);
        QFETCH(QStringList, shownFiles);
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        for (const QString& name : picturesOfSomeFormats() + QStringList{u"notes.txt"_s}) {
            QFile file(folder.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        const QStringList filters = platform::QtCommonDialog::openNameFilters();
        const QString filter = filters.value(position < 0 ? filters.size() + position : position);
        platform::QtCommonDialog dialog(&m_window, {});
        const tests::ModalDriver<QFileDialog> driver([&](QFileDialog& shown) {
            shown.setDirectory(folder.path());
            shown.selectNameFilter(filter);
            QCOMPARE(shown.selectedNameFilter(), filter);
            auto* view = shown.findChild<QListView*>(QStringLiteral("listView"));
            QVERIFY(view);
            const auto listed = [&] {
                QStringList names;
                for (int row = 0; row < view->model()->rowCount(view->rootIndex()); ++row)
                    names << view->model()->index(row, 0, view->rootIndex()).data().toString();
                names.sort();
                return names;
            };
            QTRY_COMPARE(listed(), shownFiles);
            shown.reject();
        });
        QVERIFY_THROWS_EXCEPTION(platform::RuntimeError, dialog.ShowOpen());
        QCOMPARE(driver.seen(), 1);
    }

    // The popup of file types shows every entry whole: Qt widens it to the longest entry as far
    // as the screen allows, and CTest gives this test a screen wide enough.
    void fileTypePopupShowsEveryEntryWhole()
    {
        platform::QtCommonDialog dialog(&m_window, {});
        QString longest;
        int longestPixels = 0;
        int popupPixels = 0;
        int screenPixels = 0;
        const tests::ModalDriver<QFileDialog> driver([&](QFileDialog& shown) {
            auto* fileTypes = shown.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
            QVERIFY(fileTypes);
            QCOMPARE(fileTypes->count(), platform::QtCommonDialog::openNameFilters().size());
            fileTypes->showPopup();
            QAbstractItemView* view = fileTypes->view();
            QTRY_VERIFY(view->isVisible());
            const QFontMetrics metrics(view->font());
            for (int item = 0; item < fileTypes->count(); ++item) {
                const int pixels = metrics.horizontalAdvance(fileTypes->itemText(item));
                if (pixels > longestPixels) {
                    longestPixels = pixels;
                    longest = fileTypes->itemText(item);
                }
            }
            popupPixels = view->viewport()->width();
            screenPixels = view->screen()->availableGeometry().width();
            fileTypes->hidePopup();
            shown.reject();
        });
        QVERIFY_THROWS_EXCEPTION(platform::RuntimeError, dialog.ShowOpen());
        QCOMPARE(driver.seen(), 1);
        qInfo("longest entry %d px, popup %d px, screen %d px", longestPixels, popupPixels,
              screenPixels);
        if (screenPixels < longestPixels)
            QSKIP("the screen is narrower than the longest file type");
        QVERIFY2(popupPixels >= longestPixels, qPrintable(longest));
    }

    // The box clips an entry wider than itself; its tool tip shows the chosen one whole.
    void fileTypeToolTipShowsTheChosenEntry_data()
    {
        // The file types chosen in turn, by position.
        QTest::addColumn<QList<int>>("chosen");
        QTest::addColumn<int>("shown");
        const int last = static_cast<int>(platform::QtCommonDialog::openNameFilters().size()) - 1;
        QTest::newRow("all pictures, as the dialog opens") << QList<int>{} << 0;
        QTest::newRow("one format chosen") << QList<int>{1} << 1;
        QTest::newRow("all files chosen") << QList<int>{last} << last;
        QTest::newRow("all pictures chosen again") << QList<int>{last, 0} << 0;
    }

    void fileTypeToolTipShowsTheChosenEntry()
    {
        QFETCH(QList<int>, chosen);
        QFETCH(int, shown);
        platform::QtCommonDialog dialog(&m_window, {});
        const tests::ModalDriver<QFileDialog> driver([&](QFileDialog& fileDialog) {
            auto* fileTypes = fileDialog.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
            QVERIFY(fileTypes);
            for (const int position : chosen)
                fileTypes->setCurrentIndex(position);
            QCOMPARE(fileTypes->toolTip(),
                     platform::QtCommonDialog::openNameFilters().value(shown));
            fileDialog.reject();
        });
        QVERIFY_THROWS_EXCEPTION(platform::RuntimeError, dialog.ShowOpen());
        QCOMPARE(driver.seen(), 1);
    }

    void speaksJapanese()
    {
        if (!platform::ensureJapaneseTranslations())
            QSKIP("Qt's Japanese translations (qt6-translations-l10n) are not installed");
        platform::QtCommonDialog dialog(&m_window, {});
        QString cancelText;
        const tests::ModalDriver<QFileDialog> driver([&](QFileDialog& shown) {
            const auto* buttons = shown.findChild<QDialogButtonBox*>();
            if (buttons && buttons->button(QDialogButtonBox::Cancel))
                cancelText = buttons->button(QDialogButtonBox::Cancel)->text();
            shown.reject();
        });
        QVERIFY_THROWS_EXCEPTION(platform::RuntimeError, dialog.ShowOpen());
        QCOMPARE(cancelText, QStringLiteral("キャンセル"));
    }

    void cancelRaisesAndKeepsTheEarlierChoice()
    {
        platform::QtCommonDialog dialog(&m_window, {});
        const tests::ModalDriver<QFileDialog> chooser(
            [&](QFileDialog& shown) { choose(shown, m_picture); });
        dialog.ShowOpen();
        QCOMPARE(chooser.seen(), 1);

        const tests::ModalDriver<QFileDialog> canceller([](QFileDialog& shown) { shown.reject(); });
        try {
            dialog.ShowOpen();
            QFAIL("a cancelled dialog returned");
        } catch (const platform::RuntimeError& error) {
            QCOMPARE(error.errorNumber(), platform::ErrorNumber::DialogCancelled);
        }
        QCOMPARE(dialog.FileName(), m_picture);
    }

    void writesNoSettings()
    {
        const QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
        QVERIFY(!config.isEmpty());
        QVERIFY2(entriesOf(config).isEmpty(), qPrintable(entriesOf(config).join(u' ')));

        // The same dialog in a process that skips keepNoSettings() does leave a file behind,
        // so the check above can fail.
        QTemporaryDir childConfig;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), childConfig.path());
        QProcess child;
        child.setProcessEnvironment(environment);
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        child.start(QCoreApplication::applicationFilePath(),
                    {QString::fromLatin1(kWithoutGuardOption), m_picture});
        QVERIFY(child.waitForFinished(60000));
        QCOMPARE(child.exitCode(), 0);
        QVERIFY(!entriesOf(childConfig.path()).isEmpty());
    }
};

int main(int argc, char** argv)
{
    if (argc == 3 && qstrcmp(argv[1], kWithoutGuardOption) == 0)
        return showDialogWithoutGuard(argc, argv);
    // Settings would go to a fresh, empty configuration folder of this run's own.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    QApplication application(argc, argv);
    TstCommonDialog test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_common_dialog.moc"
