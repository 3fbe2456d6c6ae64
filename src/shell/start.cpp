// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "shell/start.h"

#include "picture/helper/decoder_client.h"
#include "platform/japanese_ui.h"
#include "platform/runtime.h"
#include "shell/application_identity.h"
#include "shell/program.h"
#include "shell/viewer_plugins.h"
#include "window/form1.h"
#include "window/form_builder.h"

#include <QApplication>

#include <array>
#include <optional>

namespace kavelora::shell {

int start(const char* programName)
{
    return start(programName, {});
}

int start(const char* programName, const BeforeShow& beforeShow)
{
    platform::keepNoSettings();
    useQtPluginsWithoutImageFormats();
    // Started first, so that the helper readies its decoders on the other core while the
    // window is made, and neither the start nor the first open waits for it.
    picture::DecoderClient::instance().start();

    std::string name = programName ? programName : "kavelora";
    int argumentCount = 1;
    std::array<char*, 2> arguments{name.data(), nullptr};
    QApplication application(argumentCount, arguments.data());
    // Now with an application object to notice the helper ending while idle.
    picture::DecoderClient::instance().start();
    // Read while the icon and the buttons are made; Label1 is the first to measure text.
    platform::startReadingFontConfiguration();
    applyApplicationIdentity();
    platform::useJapaneseLocale();
    platform::installJapaneseFontSubstitutes();

    const std::unique_ptr<window::Form1> form = window::buildForm1();
    std::optional<int> earlyExitStatus;
    Program program(*form, [&earlyExitStatus](int status) {
        // Before the event loop runs, exit() has nothing to leave: remember the status.
        earlyExitStatus = status;
        QCoreApplication::exit(status);
    });
    if (beforeShow)
        beforeShow(*form);
    form->show();
    if (earlyExitStatus)
        return *earlyExitStatus;
    return QApplication::exec();
}

} // namespace kavelora::shell
