// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT

// Writes the program's icon into an icon-theme tree for the desktop's launchers:
//   make_icons <icon.ico> <output-folder> <icon-name> <size>...
// Each size goes to <output-folder>/<size>x<size>/apps/<icon-name>.png. The icon is pixel art,
// so larger sizes are enlarged by nearest-neighbour sampling and stay crisp.

#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QString>
#include <QStringList>
#include <QTextStream>

namespace {

int fail(const QString& message)
{
    QTextStream(stderr) << "make_icons: " << message << '\n';
    return 1;
}

} // namespace

int main(int argc, char* argv[])
{
    // Image-format plugins (the icon reader) are found through the application object.
    QCoreApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() < 5)
        return fail(QStringLiteral("usage: make_icons <icon.ico> <output-folder> <icon-name> "
                                   "<size>..."));

    QImage icon;
    if (!icon.load(arguments.at(1)) || icon.isNull())
        return fail(QStringLiteral("cannot read %1").arg(arguments.at(1)));
    icon = icon.convertToFormat(QImage::Format_ARGB32);

    const QDir outputFolder(arguments.at(2));
    const QString& iconName = arguments.at(3);
    for (qsizetype index = 4; index < arguments.size(); ++index) {
        bool isNumber = false;
        const int sizePixels = arguments.at(index).toInt(&isNumber);
        if (!isNumber || sizePixels < icon.width() || sizePixels > 1024)
            return fail(QStringLiteral("bad size '%1'").arg(arguments.at(index)));

        const QImage scaled =
            icon.scaled(sizePixels, sizePixels, Qt::IgnoreAspectRatio, Qt::FastTransformation);
        const QString sizeFolder = QStringLiteral("%1x%1/apps").arg(sizePixels);
        if (!outputFolder.mkpath(sizeFolder))
            return fail(QStringLiteral("cannot create %1").arg(outputFolder.filePath(sizeFolder)));
        const QString path =
            outputFolder.filePath(QStringLiteral("%1/%2.png").arg(sizeFolder, iconName));
        if (!scaled.save(path, "PNG"))
            return fail(QStringLiteral("cannot write %1").arg(path));
    }
    return 0;
}
