// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "platform/runtime.h"

#include <QSettings>
#include <QWidget>

namespace kavelora::platform {

void Unload(QWidget& form)
{
    form.close();
}

void keepNoSettings()
{
    // /dev/null is not a folder, so no settings file can be made below it, not even by root:
    // QSettings then reports an access error and writes nothing.
    const QString nowhere = QStringLiteral("/dev/null");
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, nowhere);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, nowhere);
}

} // namespace kavelora::platform
