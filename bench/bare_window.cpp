// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
//
// The floor for start-up: the least a Qt widgets program does to show a picture, a window
// holding one label with the picture in it. With --captions the window also shows the
// program's Japanese captions, the label's text in its bold gothic face and three buttons in
// the default font: the least Qt does to find, load and draw those fonts, with none of the
// program's own code.
//
//   bare_window [--captions] FILE

#include "window/window_description.h"

#include <QApplication>
#include <QFont>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWidget>

#include <cstdio>
#include <cstring>

namespace {

using kavelora::window::ControlKind;
using kavelora::window::kControls;
using kavelora::window::kLabel1Font;

QString toQString(std::u16string_view text)
{
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

void addCaptions(QWidget& window, QVBoxLayout& layout)
{
    for (const auto& row : kControls) {
        if (row.kind == ControlKind::Label) {
            auto* label = new QLabel(toQString(row.caption), &window);
            QFont font(QStringLiteral("IPAPGothic"));
            font.setPointSizeF(kLabel1Font.pointSize);
            font.setBold(true);
            label->setFont(font);
            layout.addWidget(label);
        } else if (row.kind == ControlKind::CommandButton) {
            layout.addWidget(new QPushButton(toQString(row.caption), &window));
        }
    }
}

} // namespace

int main(int argc, char* argv[])
{
    const bool captions = argc == 3 && std::strcmp(argv[1], "--captions") == 0;
    if (argc != (captions ? 3 : 2)) {
        std::fprintf(stderr, "usage: bare_window [--captions] FILE\n");
        return 2;
    }
    QApplication application(argc, argv);
    const QPixmap picture(QString::fromLocal8Bit(argv[argc - 1]));
    if (!captions) {
        QLabel label;
        label.setPixmap(picture);
        label.show();
        return QApplication::exec();
    }
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* pictureLabel = new QLabel(&window);
    pictureLabel->setPixmap(picture);
    layout->addWidget(pictureLabel);
    addCaptions(window, *layout);
    window.show();
    return QApplication::exec();
}
