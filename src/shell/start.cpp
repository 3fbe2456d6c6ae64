// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "shell/start.h"

#include "picture/helper/helper_decoding.h"
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

int start(const char* programName, const QStringList& files)
{
    return start(programName, files, {});
}

int start(const char* programName, const QStringList& files, const BeforeShow& beforeShow,
          const MakeDecoding& makeDecoding)
{
    platform::keepNoSettings();
    useQtPluginsWithoutImageFormats();
    std::string name = programName ? programName : "kavelora";
    int argumentCount = 1;
    std::array<char*, 2> arguments{name.data(), nullptr};
    QApplication application(argumentCount, arguments.data());
    // Started before the window is made, so that the helper readies its decoders on the other
    // core meanwhile and the first open does not wait for it; after the application object,
    // which is needed to notice the helper ending while idle.
    std::shared_ptr<picture::PictureDecoding> decoding;
    if (makeDecoding) {
        decoding = makeDecoding();
    } else {
        const auto helper = std::make_shared<picture::HelperDecoding>();
        helper->start();
        decoding = helper;
    }
    // Read while the icon and the buttons are made; Label1 is the first to measure text.
    platform::startReadingFontConfiguration();
    applyApplicationIdentity();
    platform::useJapaneseLocale();
    platform::installJapaneseFontSubstitutes();

    const std::unique_ptr<window::Form1> form = window::buildForm1();
    std::optional<int> earlyExitStatus;
    Program program(*form, decoding, [&earlyExitStatus](int status) {
        // Before the event loop runs, exit() has nothing to leave: remember the status.
        earlyExitStatus = status;
        QCoreApplication::exit(status);
    });
    if (beforeShow)
        beforeShow(*form, decoding);
    form->show();
    if (earlyExitStatus)
        return *earlyExitStatus;
    if (!files.isEmpty())
        program.openFromCommandLine(files.constFirst());
    return QApplication::exec();
}

} // namespace kavelora::shell
