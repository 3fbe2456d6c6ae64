// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
//
// The floor for start-up: the least a Qt widgets program does to show a picture, a window
// holding one label with the picture in it.
//
//   bare_window FILE

#include <QApplication>
#include <QLabel>
#include <QPixmap>

#include <cstdio>

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: bare_window FILE\n");
        return 2;
    }
    QApplication application(argc, argv);
    QLabel label;
    label.setPixmap(QPixmap(QString::fromLocal8Bit(argv[1])));
    label.show();
    return QApplication::exec();
}
