// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "platform/common_dialog.h"

#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>

class QPrinter;

namespace kavelora::platform {

// The dialog component on Qt's own dialogs, modal to the parent: never the desktop's native
// ones, so they speak Japanese everywhere and tests can drive them. A cancel changes nothing.
class QtCommonDialog : public CommonDialog
{
public:
    // printer gives the program's one printer, asked for only when the print dialog shows.
    QtCommonDialog(QWidget* parent, std::function<QPrinter&()> printer);
    ~QtCommonDialog() override;

    void ShowOpen() override;
    void ShowPrinter() override;
    QString FileName() const override { return m_fileName; }

    // The open dialog's title and its name filters, the last one for all files.
    static QString openTitle();
    static QStringList openNameFilters();

private:
    QString startingFolder() const;

    QPointer<QWidget> m_parent;
    std::function<QPrinter&()> m_printer;
    QString m_fileName;
};

} // namespace kavelora::platform
