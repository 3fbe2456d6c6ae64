// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

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
// by decoding, into Image1. Raises RuntimeError when the dialog is cancelled or fails or the
// file cannot be loaded; Image1 then keeps its picture.
void Command1_Click(window::Form1& form, platform::CommonDialog& dialog,
                    const std::shared_ptr<picture::PictureDecoding>& decoding);

} // namespace kavelora::commands
