// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "commands/open_command.h"

#include "picture/load_picture.h"
#include "picture/when_finished.h"
#include "platform/common_dialog.h"
#include "window/form1.h"
#include "window/image_box.h"

namespace kavelora::commands {

QFuture<void> Command1_Click(window::Form1& form, platform::CommonDialog& dialog,
                             const std::shared_ptr<picture::PictureDecoding>& decoding)
{
    dialog.ShowOpen();
    window::ImageBox& image = form.Image1();
    // Read after the dialog has closed, whatever its outcome; an empty name clears the area.
    const QString fileName = dialog.FileName();
    // Decoded for the picture area as it is now; the area asks for more if it grows.
    return picture::thenOn(
        picture::LoadPicture(decoding, fileName, image.devicePixelSize()), &image,
        [&image](picture::Picture picture) { image.setPicture(std::move(picture)); });
}

} // namespace kavelora::commands
