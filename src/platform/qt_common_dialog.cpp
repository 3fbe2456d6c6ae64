// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "platform/qt_common_dialog.h"

#include "platform/japanese_file_details.h"
#include "platform/japanese_ui.h"
#include "platform/picture_file_patterns.h"
#include "platform/print_dialog.h"
#include "platform/runtime_error.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QStandardPaths>
#include <QTreeView>

namespace kavelora::platform {

namespace {

// Writes sizes and dates in Japanese and widens their columns to fit: Qt sizes them for the
// English texts, which cuts the Japanese ones short.
void showFileDetailsInJapanese(QFileDialog& dialog)
{
    dialog.setProxyModel(new JapaneseFileDetails(&dialog));
    auto* details = dialog.findChild<QTreeView*>(QStringLiteral("treeView"));
    if (!details)
        return;
    QHeaderView* header = details->header();
    header->setStretchLastSection(false);
    for (int column = 1; column < header->count(); ++column)
        header->setSectionResizeMode(column, QHeaderView::ResizeToContents);
}

// The file-type box cuts off an entry wider than itself, as the one for all pictures is,
// without a mark: its tool tip shows the chosen entry whole. Qt widens the popup to the longest
// entry as far as the screen allows; on a narrower screen the popup keeps both of its ends.
void showFileTypesWhole(QFileDialog& dialog)
{
    auto* fileTypes = dialog.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
    if (!fileTypes)
        return;
    fileTypes->setToolTip(fileTypes->currentText());
    QObject::connect(fileTypes, &QComboBox::currentTextChanged, fileTypes, &QWidget::setToolTip);
    fileTypes->view()->setTextElideMode(Qt::ElideMiddle);
}

} // namespace

QtCommonDialog::QtCommonDialog(QWidget* parent, std::function<QPrinter&()> printer)
    : m_parent(parent)
    , m_printer(std::move(printer))
{}

QtCommonDialog::~QtCommonDialog() = default;

QString QtCommonDialog::openTitle()
{
    return QStringLiteral("ファイルを開く");
}

QStringList QtCommonDialog::openNameFilters()
{
    QStringList filters{QStringLiteral("画像ファイル (%1)").arg(pictureFilePatterns())};
    for (const PictureFileKind& kind : pictureFileKinds())
        filters.append(QStringLiteral("%1 (%2)").arg(kind.title, kind.patterns));
    filters.append(QStringLiteral("すべて (*)"));
    return filters;
}

QString QtCommonDialog::startingFolder() const
{
    // Within one run the dialog returns to the folder of the last choice; nothing of it
    // outlives the run.
    if (!m_fileName.isEmpty()) {
        const QString folder = QFileInfo(m_fileName).absolutePath();
        if (QFileInfo(folder).isDir())
            return folder;
    }
    const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    if (!pictures.isEmpty() && QFileInfo(pictures).isDir())
        return pictures;
    return QDir::homePath();
}

void QtCommonDialog::ShowOpen()
{
    ensureJapaneseTranslations();
    QFileDialog dialog(m_parent, openTitle(), startingFolder());
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters(openNameFilters());
    showFileTypesWhole(dialog);
    showFileDetailsInJapanese(dialog);
    dialog.setWindowModality(Qt::WindowModal);
    if (dialog.exec() != QDialog::Accepted)
        throw RuntimeError(ErrorNumber::DialogCancelled);
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty())
        throw RuntimeError(ErrorNumber::DialogCancelled);
    m_fileName = chosen.constFirst();
}

void QtCommonDialog::ShowPrinter()
{
    if (!m_printer)
        throw RuntimeError(ErrorNumber::DialogFailed, QStringLiteral("no printer"));
    showPrintDialog(m_parent, m_printer());
}

} // namespace kavelora::platform
