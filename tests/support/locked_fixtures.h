// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// The pictures the lock-down test decodes in locked children.
namespace kavelora::tests {

// The fixtures Qt writes (or the test builds by hand), by name.
QStringList fixtureNames();

// The fixture called name, showing kLeft and kRight halves; empty when it cannot be written.
// Loads image plugins: call it in a child process.
QByteArray makeFixture(const QString& name);

// A picture only the codec libraries read, made from the PNG fixture by its encoder: name,
// tool and the tool's arguments before the input and output.
struct LibraryFixture
{
    QString name;
    QString tool;
    QStringList options;
};

extern const QList<LibraryFixture> kLibraryFixtures;

} // namespace kavelora::tests
