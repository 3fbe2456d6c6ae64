// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "window/image_box.h"

#include "picture/animation.h"
#include "picture/when_finished.h"
#include "window/accessible_picture.h"

#include <QPainter>
#include <QResizeEvent>

namespace kavelora::window {

namespace {

// Premultiplied pixels draw fastest when there is alpha; opaque pictures stay RGB32, which
// costs nothing to convert from a decoder's usual output and half as much memory as 64-bit.
QImage drawableCopy(const QImage& image)
{
    if (image.hasAlphaChannel())
        return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (image.format() == QImage::Format_RGB32)
        return image;
    return image.convertToFormat(QImage::Format_RGB32);
}

QImage masterCopy(const QImage& image)
{
    const QSize size = image.size();
    if (size.width() <= ImageBox::kMasterCopyLongestSide &&
        size.height() <= ImageBox::kMasterCopyLongestSide)
        return drawableCopy(image);
    const QSize bounded = size.scaled(ImageBox::kMasterCopyLongestSide,
                                      ImageBox::kMasterCopyLongestSide, Qt::KeepAspectRatio);
    return drawableCopy(image.scaled(bounded, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
}

} // namespace

ImageBox::ImageBox(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    m_settleTimer.setSingleShot(true);
    m_settleTimer.setInterval(kSettleDelayMs);
    connect(&m_settleTimer, &QTimer::timeout, this, [this] {
        settle();
        update();
    });
}

ImageBox::~ImageBox() = default;

picture::Picture ImageBox::picture() const
{
    if (m_animation && !m_frame.isNull())
        return m_picture.stillFrame(m_frame);
    return m_picture;
}

void ImageBox::setPicture(picture::Picture picture)
{
    ++m_pictureSerial;
    m_finerAskedFor = QSize();
    m_animation.reset();
    m_frame = QImage();
    m_picture = std::move(picture);
    m_source = m_picture.isEmpty() ? QImage() : drawableCopy(m_picture.screenImage());
    m_master = QImage();
    m_settled = QImage();
    if (m_picture.isAnimated()) {
        m_animation = std::make_unique<picture::Animation>(m_picture);
        connect(m_animation.get(), &picture::Animation::frameChanged, this, &ImageBox::showFrame);
    }
    describeForScreenReaders(*this, m_picture);
    // Made now, so that the first paint after opening shows the smooth copy; a hidden box
    // waits until it is shown, at the size it has then.
    if (isVisible())
        settle();
    update();
}

void ImageBox::showFrame(const QImage& frame)
{
    m_frame = frame;
    drawFrom(m_frame);
}

// The copies are made again from source; during a resize, once it pauses.
void ImageBox::drawFrom(const QImage& source)
{
    m_source = drawableCopy(source);
    m_master = QImage();
    m_settled = QImage();
    if (!m_settleTimer.isActive())
        settle();
    update();
}

QSize ImageBox::devicePixelSize() const
{
    return (QSizeF(size()) * devicePixelRatioF()).toSize();
}

bool ImageBox::settledCopyFits() const
{
    return !m_settled.isNull() && m_settled.size() == devicePixelSize() &&
           m_settled.devicePixelRatio() == devicePixelRatioF();
}

void ImageBox::settle()
{
    const QSize boxPixels = devicePixelSize();
    if (m_source.isNull() || boxPixels.isEmpty() || settledCopyFits())
        return;
    decodeFinerForBox();
    // Scaled in one step from the finest copy there is: a second smoothing step would blur
    // the picture visibly (about 3 dB against an exact area average).
    if (m_source.size() == boxPixels)
        m_settled = m_source;
    else
        m_settled = m_source.scaled(boxPixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    m_settled.setDevicePixelRatio(devicePixelRatioF());
}

// Asks for a finer copy when the box has outgrown the one held; the coarser one stays on screen
// until it comes, and a copy that comes for a picture no longer shown is dropped.
void ImageBox::decodeFinerForBox()
{
    if (m_animation)
        return;
    const QSize needed = devicePixelSize();
    const QSize own = m_picture.ownSize();
    const QSize held = m_source.size();
    const auto covers = [](QSize pixels, QSize wanted) {
        return pixels.width() >= wanted.width() && pixels.height() >= wanted.height();
    };
    if (covers(held, needed) || covers(held, own) || covers(m_finerAskedFor, needed))
        return;
    m_finerAskedFor = needed;
    const int shownPicture = m_pictureSerial;
    picture::whenFinished(m_picture.decodeForSize(needed), this,
                          [this, shownPicture](const QFuture<QImage>& decoded) {
                              if (shownPicture != m_pictureSerial)
                                  return;
                              m_finerAskedFor = QSize();
                              if (decoded.resultCount() > 0)
                                  takeFinerCopy(decoded.result());
                          });
}

void ImageBox::takeFinerCopy(const QImage& finer)
{
    if (finer.width() > m_source.width() || finer.height() > m_source.height())
        drawFrom(finer);
}

void ImageBox::paintEvent(QPaintEvent*)
{
    if (m_source.isNull())
        return;
    QPainter painter(this);
    if (settledCopyFits()) {
        painter.drawImage(0, 0, m_settled);
        return;
    }
    // Made when a resize first needs it: opening a picture pays neither its time nor memory.
    if (m_master.isNull())
        m_master = masterCopy(m_source);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(rect(), m_master);
}

void ImageBox::resizeEvent(QResizeEvent* event)
{
    // The first size a shown box gets is not a resize in progress: its copy is made at once.
    if (isVisible() && event->oldSize().isValid() && !event->oldSize().isEmpty())
        m_settleTimer.start();
    else if (isVisible())
        settle();
    QWidget::resizeEvent(event);
}

void ImageBox::showEvent(QShowEvent* event)
{
    settle();
    QWidget::showEvent(event);
}

} // namespace kavelora::window
