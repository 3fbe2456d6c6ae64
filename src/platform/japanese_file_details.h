// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <QIdentityProxyModel>

namespace kavelora::platform {

// Shows a file dialog's file-system model with each file's size and modification time written
// in the program's locale ("324 バイト", "2026/12/07 16:53"): the model itself writes them in
// the machine's locale, which the program does not change.
class JapaneseFileDetails : public QIdentityProxyModel
{
    Q_OBJECT

public:
    using QIdentityProxyModel::QIdentityProxyModel;

    // The source's data, but the size and date cells of files in the default locale.
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
};

} // namespace kavelora::platform
