// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "shell/application_identity.h"

#include "shell/project_description.h"
#include "shell/version_record.h"

#include <QGuiApplication>

namespace kavelora::shell {

void applyApplicationIdentity()
{
    QCoreApplication::setApplicationName(QString::fromUtf16(
        kProject.projectName.data(), static_cast<qsizetype>(kProject.projectName.size())));
    QCoreApplication::setApplicationVersion(versionValue(u"ProductVersion"));
    QCoreApplication::setOrganizationName(versionValue(u"CompanyName"));
    QGuiApplication::setDesktopFileName(QString::fromUtf16(kApplicationId));
}

} // namespace kavelora::shell
