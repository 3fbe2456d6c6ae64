// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "shell/application_identity.h"

#include "shell/version_record.h"

#include <QGuiApplication>

namespace kavelora::shell {

void applyApplicationIdentity()
{
    // The X11 window class and the desktop entry's StartupWMClass both come from this name.
    QCoreApplication::setApplicationName(versionValue(u"InternalName"));
    QCoreApplication::setApplicationVersion(versionValue(u"ProductVersion"));
    QCoreApplication::setOrganizationName(versionValue(u"CompanyName"));
    QGuiApplication::setDesktopFileName(QString::fromUtf16(kApplicationId));
}

} // namespace kavelora::shell
