// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <QFuture>

#include <memory>

namespace kavelora::picture {
class PictureDecoding;
}
namespace kavelora::platform {
class CommonDialog;
}
namespace kavelora::window {
class Form1;
}

namespace kavelora::commands {

// The "開　く" button: shows the open-file dialog and puts the chosen file's picture, decoded
// by decoding, into Image1. Raises RuntimeError when the dialog is cancelled or fails. The
// picture is decoded while the window goes on; the future finishes once Image1 shows it, or
// fails with RuntimeError when the file cannot be loaded, and Image1 then keeps its picture.
QFuture<void> Command1_Click(window::Form1& form, platform::CommonDialog& dialog,
                             const std::shared_ptr<picture::PictureDecoding>& decoding);

} // namespace kavelora::commands
