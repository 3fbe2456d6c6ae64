// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "modal_driver.h"
#include "platform/japanese_ui.h"
#include "platform/qt_common_dialog.h"
#include "platform/runtime.h"
#include "platform/runtime_error.h"
#include "unexpected_warnings.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using namespace kavelora;

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

    // The pictures filter, made at build time from the decoder's format table, offers every
    // kind of name the dialog has always offered.
    void openFilterOffersEveryPictureName_data()
    {
        QTest::addColumn<QString>("pattern");
        for (const char* pattern :
             {"*.bmp", "*.dib", "*.ico",  "*.cur",  "*.gif",  "*.jpg",  "*.jpeg",
              "*.jpe", "*.png", "*.webp", "*.tif",  "*.tiff", "*.pbm",  "*.pgm",
              "*.ppm", "*.xbm", "*.xpm",  "*.heic", "*.heif", "*.avif", "*.jxl"})
            QTest::newRow(pattern) << QString::fromLatin1(pattern);
    }

    void openFilterOffersEveryPictureName()
    {
        QFETCH(QString, pattern);
        const QString pictures = platform::QtCommonDialog::openNameFilters().constFirst();
        QVERIFY2(pictures.startsWith(QStringLiteral("画像ファイル (")) && pictures.endsWith(u')'),
                 qPrintable(pictures));
        const QStringList patterns = pictures.section(u'(', 1).chopped(1).split(u' ');
        QVERIFY2(patterns.contains(pattern), qPrintable(pictures));
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
