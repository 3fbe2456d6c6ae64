// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT

// A small magenta window that starts a real drag when the mouse is pressed in it, as a file
// manager does: a text/uri-list of the files named on the command line, or with --text, those
// arguments as plain text. Copy and move are offered. When the drag ends it prints
// "drop: copy", "drop: link", "drop: move" or "drop: refused", and exits 30 s later. --at X,Y
// places the window where the platform lets a program place its own window (X11).
//
//   drag_source [--at X,Y] [--text] ARGUMENT...

#include <QApplication>
#include <QDrag>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include <cstdio>

namespace {

constexpr int kLingerMs = 30000;

class DragSource : public QWidget
{
public:
    DragSource(QStringList arguments, bool asText)
        : m_arguments(std::move(arguments))
        , m_asText(asText)
    {
        setWindowTitle(QStringLiteral("Kavelora drag source"));
        setFixedSize(120, 120);
    }

protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(rect(), QColor(255, 0, 255)); }

    void mousePressEvent(QMouseEvent* event) override
    {
        if (event->button() != Qt::LeftButton || m_started)
            return;
        m_started = true;
        auto* dragged = new QMimeData;
        if (m_asText) {
            dragged->setText(m_arguments.join(QLatin1Char('\n')));
        } else {
            QList<QUrl> urls;
            for (const QString& file : m_arguments)
                urls.append(QUrl::fromLocalFile(file));
            dragged->setUrls(urls);
        }
        auto* drag = new QDrag(this);
        drag->setMimeData(dragged);
        const Qt::DropAction action = drag->exec(Qt::CopyAction | Qt::MoveAction, Qt::CopyAction);
        std::printf("drop: %s\n", action == Qt::CopyAction   ? "copy"
                                  : action == Qt::LinkAction ? "link"
                                  : action == Qt::MoveAction ? "move"
                                                             : "refused");
        std::fflush(stdout);
        // Qt's X11 drag ends at the release, before the target has asked for the dropped
        // data: the source must live on to hand it over, as a file manager does.
        QTimer::singleShot(kLingerMs, qApp, &QApplication::quit);
    }

private:
    QStringList m_arguments;
    bool m_asText;
    bool m_started = false;
};

} // namespace

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    QStringList arguments = QApplication::arguments().mid(1);
    QPoint place(-1, -1);
    if (arguments.size() >= 2 && arguments.first() == QStringLiteral("--at")) {
        const QStringList xy = arguments.at(1).split(QLatin1Char(','));
        place = QPoint(xy.value(0).toInt(), xy.value(1).toInt());
        arguments = arguments.mid(2);
    }
    const bool asText = !arguments.isEmpty() && arguments.first() == QStringLiteral("--text");
    if (asText)
        arguments.removeFirst();

    DragSource source(arguments, asText);
    if (place.x() >= 0)
        source.move(place);
    source.show();
    return QApplication::exec();
}
