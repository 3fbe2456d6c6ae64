// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT

// Everything the open and print dialogs show is Japanese, whatever the machine's own locale:
// labels, buttons, choices, column headers and a file's size and date, in columns wide enough
// to read.

#include "modal_driver.h"
#include "platform/error_message.h"
#include "platform/japanese_ui.h"
#include "platform/print_dialog.h"
#include "platform/qt_common_dialog.h"
#include "platform/runtime.h"
#include "platform/runtime_error.h"
#include "unexpected_warnings.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QHash>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QRegularExpression>
#include <QStyleOptionViewItem>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QToolButton>
#include <QTreeView>
#include <QtTest>

using namespace kavelora;

namespace {

// The texts a widget shows on screen or on hovering, its mnemonic markers removed.
QStringList shownTexts(const QWidget& widget)
{
    QStringList texts{widget.toolTip()};
    if (const auto* label = qobject_cast<const QLabel*>(&widget))
        texts << label->text();
    else if (const auto* tool = qobject_cast<const QToolButton*>(&widget)) {
        if (tool->toolButtonStyle() != Qt::ToolButtonIconOnly)
            texts << tool->text();
    } else if (const auto* button = qobject_cast<const QAbstractButton*>(&widget))
        texts << button->text();
    else if (const auto* group = qobject_cast<const QGroupBox*>(&widget))
        texts << group->title();
    else if (const auto* combo = qobject_cast<const QComboBox*>(&widget)) {
        for (int item = 0; item < combo->count(); ++item)
            texts << combo->itemText(item);
    } else if (const auto* tabs = qobject_cast<const QTabBar*>(&widget)) {
        for (int tab = 0; tab < tabs->count(); ++tab)
            texts << tabs->tabText(tab);
    } else if (const auto* edit = qobject_cast<const QLineEdit*>(&widget))
        texts << edit->placeholderText();
    else if (const auto* list = qobject_cast<const QListView*>(&widget)) {
        for (int row = 0; row < list->model()->rowCount(list->rootIndex()); ++row)
            texts << list->model()->index(row, 0, list->rootIndex()).data().toString();
    } else if (const auto* header = qobject_cast<const QHeaderView*>(&widget)) {
        for (int section = 0; section < header->count(); ++section) {
            if (!header->isSectionHidden(section))
                texts << header->model()->headerData(section, header->orientation()).toString();
        }
    }
    texts.replaceInStrings(QStringLiteral("&"), QString());
    return texts;
}

QStringList shownTextsOfChildren(const QWidget& dialog)
{
    QStringList texts{dialog.windowTitle()};
    for (const QWidget* child : dialog.findChildren<QWidget*>()) {
        if (child->isVisible())
            texts << shownTexts(*child);
    }
    // The items of its context menus.
    for (const QAction* action : dialog.findChildren<QAction*>())
        texts << action->text().remove(u'&');
    texts.removeAll(QString());
    return texts;
}

// The Latin-script words in text, leaving out paths, name patterns and names.
QStringList latinWords(const QString& text)
{
    static const QRegularExpression latinWord(QStringLiteral("[A-Za-z]{2,}"));
    // File formats, the standards and names of paper sizes, unit symbols and OK, which
    // Japanese keeps as they are.
    static const QStringList names =
        QStringLiteral(
            "PDF PNG AVIF JPEG XL GIF WebP TIFF XPM PBM PGM PPM XBM ANSI JIS PRC ARCH US DL "
            "Extra Plus Small Super in mm pt pc DD CC OK")
            .split(u' ');
    QStringList words;
    for (const QString& token : text.split(u' ', Qt::SkipEmptyParts)) {
        if (token.contains(u'/') || token.contains(QStringLiteral("*.")))
            continue;
        for (const auto& match : latinWord.globalMatch(token)) {
            if (!names.contains(match.captured()))
                words << match.captured();
        }
    }
    return words;
}

// The width a cell needs to show its text whole, as the view's delegate measures it.
int widthNeeded(const QAbstractItemView& view, const QModelIndex& cell)
{
    QStyleOptionViewItem option;
    option.initFrom(&view);
    option.widget = &view;
    return view.itemDelegateForIndex(cell)->sizeHint(option, cell).width();
}

// Fails the current test when a text has a Latin-script word left in it, naming them all.
void verifyJapanese(const QStringList& texts)
{
    QVERIFY(!texts.isEmpty());
    QStringList notJapanese;
    for (const QString& text : texts) {
        if (!latinWords(text).isEmpty())
            notJapanese << text;
    }
    QVERIFY2(notJapanese.isEmpty(), qPrintable(notJapanese.join(QStringLiteral(" | "))));
}

// The texts of every page of the dialog's tabs, each page shown in turn.
QStringList shownTextsOfAllTabs(QWidget& dialog)
{
    QStringList texts = shownTextsOfChildren(dialog);
    for (auto* tabs : dialog.findChildren<QTabWidget*>()) {
        for (int tab = 0; tab < tabs->count(); ++tab) {
            tabs->setCurrentIndex(tab);
            texts << shownTextsOfChildren(*tabs);
        }
    }
    return texts;
}

} // namespace

Q_DECLARE_METATYPE(kavelora::platform::ErrorNumber)

class TstDialogTexts : public QObject
{
    Q_OBJECT

    QTemporaryDir m_folder;
    QString m_file;
    QString m_subfolder;
    QWidget m_window;

private Q_SLOTS:
    void initTestCase()
    {
        platform::keepNoSettings();
        platform::useJapaneseLocale();
        if (!platform::ensureJapaneseTranslations())
            QSKIP("Qt's Japanese translations (qt6-translations-l10n) are not installed");
        QVERIFY(m_folder.isValid());
        m_file = m_folder.filePath(QStringLiteral("写真.png"));
        QFile file(m_file);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(QByteArray(324, 'x')), 324);
        file.close();
        m_subfolder = m_folder.filePath(QStringLiteral("アルバム"));
        QVERIFY(QDir().mkdir(m_subfolder));
        m_window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&m_window));
    }

    void init() { tests::failOnUnexpectedWarnings(); }

    void unopenedFileMessageIsJapanese_data()
    {
        QTest::addColumn<platform::ErrorNumber>("error");
        QTest::newRow("missing") << platform::ErrorNumber::FileNotFound;
        QTest::newRow("unreadable") << platform::ErrorNumber::PathFileAccess;
        QTest::newRow("broken") << platform::ErrorNumber::InvalidPicture;
        QTest::newRow("too large") << platform::ErrorNumber::OutOfMemory;
        QTest::newRow("on a stalled file system") << platform::ErrorNumber::DeviceTimeout;
        QTest::newRow("no decoder can run") << platform::ErrorNumber::DeviceUnavailable;
    }

    // The message for a file named on the command line: the file's name and the reason, every
    // word of it Japanese, and no wait for an answer.
    void unopenedFileMessageIsJapanese()
    {
        QFETCH(platform::ErrorNumber, error);
        const QString name = QStringLiteral("/home/user/Pictures/holiday photo.heic");
        platform::reportUnopenedFile(name, platform::RuntimeError(error, name), &m_window);
        auto* box = m_window.findChild<QMessageBox*>(QStringLiteral("UnopenedFileMessage"));
        QVERIFY(box);
        QTRY_VERIFY(box->isVisible());
        QVERIFY(box->text().contains(name));
        QVERIFY(box->text().contains(platform::RuntimeError::standardText(error)));
        QStringList texts = shownTextsOfChildren(*box);
        // The name is the user's, in whatever language: the title gives its last part.
        texts.replaceInStrings(name, QString());
        QCOMPARE(texts.takeFirst(), QStringLiteral("holiday photo.heic"));
        verifyJapanese(texts);
        box->close();
        QTRY_VERIFY(!m_window.findChild<QMessageBox*>(QStringLiteral("UnopenedFileMessage")));
    }

    void openDialogIsJapanese()
    {
        platform::QtCommonDialog dialog(&m_window, {});
        QStringList texts;
        QHash<QString, QStringList> cellsByName;
        const tests::ModalDriver<QFileDialog> driver([&](QFileDialog& shown) {
            shown.setDirectory(m_folder.path());
            auto* view = shown.findChild<QTreeView*>(QStringLiteral("treeView"));
            QVERIFY(view);
            const QAbstractItemModel& files = *view->model();
            const QModelIndex folder = view->rootIndex();
            QTRY_COMPARE(files.rowCount(folder), 2);
            const QHeaderView& header = *view->header();
            texts = shownTextsOfChildren(shown);
            for (int row = 0; row < files.rowCount(folder); ++row) {
                QStringList cells;
                for (int column = 0; column < header.count(); ++column) {
                    const QModelIndex cell = files.index(row, column, folder);
                    cells << cell.data().toString();
                    const auto fits = [&] {
                        return widthNeeded(*view, cell) <= header.sectionSize(column) &&
                               header.sectionSizeHint(column) <= header.sectionSize(column);
                    };
                    QTRY_VERIFY2(fits(), qPrintable(cells.constLast()));
                }
                texts << cells.mid(1);
                cellsByName.insert(cells.constFirst(), cells);
            }
            // The side bar lists the home folder by its own name.
            texts.removeAll(QDir::home().dirName());
            shown.reject();
        });
        QVERIFY_THROWS_EXCEPTION(platform::RuntimeError, dialog.ShowOpen());
        QCOMPARE(driver.seen(), 1);
        verifyJapanese(texts);

        const QStringList fileCells = cellsByName.value(QFileInfo(m_file).fileName());
        const QStringList folderCells = cellsByName.value(QFileInfo(m_subfolder).fileName());
        QCOMPARE(fileCells.value(1), QStringLiteral("324 バイト"));
        QCOMPARE(folderCells.value(1), QString());
        static const QRegularExpression japaneseDateTime(
            QStringLiteral("^\\d{4}/\\d{2}/\\d{2} \\d{1,2}:\\d{2}$"));
        for (const QStringList& cells : {fileCells, folderCells})
            QVERIFY2(japaneseDateTime.match(cells.value(3)).hasMatch(), qPrintable(cells.value(3)));
        QVERIFY2(fileCells.value(3).startsWith(
                     QFileInfo(m_file).lastModified().toString(QStringLiteral("yyyy/MM/dd"))),
                 qPrintable(fileCells.value(3)));
    }

    void printDialogIsJapanese()
    {
        QPrinter printer;
        QStringList texts;
        const tests::ModalDriver<QPrintDialog> driver([&](QPrintDialog& shown) {
            // The choices behind the options button count as shown too.
            const auto* buttons = shown.findChild<QDialogButtonBox*>();
            QVERIFY(buttons);
            for (QAbstractButton* button : buttons->buttons()) {
                if (buttons->buttonRole(button) == QDialogButtonBox::ResetRole)
                    button->click();
            }
            texts = shownTextsOfAllTabs(shown);

            // And so do those of the printer's properties, a dialog of its own.
            auto* properties = shown.findChild<QPushButton*>(QStringLiteral("properties"));
            QVERIFY(properties);
            const tests::ModalDriver<QDialog> propertiesDriver([&](QDialog& propertiesShown) {
                texts << shownTextsOfAllTabs(propertiesShown);
                propertiesShown.reject();
            });
            properties->click();
            QCOMPARE(propertiesDriver.seen(), 1);
            shown.reject();
        });
        QVERIFY_THROWS_EXCEPTION(platform::RuntimeError,
                                 platform::showPrintDialog(&m_window, printer));
        QCOMPARE(driver.seen(), 1);
        verifyJapanese(texts);
    }
};

int main(int argc, char** argv)
{
    // A machine whose own locale is not Japanese, and no print service to list printers.
    qputenv("LC_ALL", "C.UTF-8");
    qputenv("CUPS_SERVER", "/nonexistent/cups.sock");
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    QApplication application(argc, argv);
    TstDialogTexts test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_dialog_texts.moc"
