// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "window/form_builder.h"

#include "picture/built_in_assets.h"
#include "platform/japanese_ui.h"
#include "platform/twips_scale.h"
#include "window/command_button.h"
#include "window/form1.h"
#include "window/image_box.h"
#include "window/window_description.h"

#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QScreen>

#include <algorithm>
#include <vector>

namespace kavelora::window {

using platform::TwipsRect;
using platform::TwipsScale;

namespace {

QString toQString(std::u16string_view text)
{
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

TwipsRect storedRect(const ControlDescription& row)
{
    return TwipsRect{row.left, row.top, row.width, row.height};
}

QFont labelFont()
{
    QFont font(toQString(kLabel1Font.name));
    font.setPointSizeF(kLabel1Font.pointSize);
    font.setWeight(static_cast<QFont::Weight>(kLabel1Font.weight));
    font.setItalic(false);
    font.setUnderline(false);
    font.setStrikeOut(false);
    return font;
}

QWidget* createControl(Form1& form, const ControlDescription& row, const TwipsScale& scale,
                       const picture::Picture& splash)
{
    const QString caption = toQString(row.caption);
    switch (row.kind) {
    case ControlKind::CommandButton: {
        auto* button = new CommandButton(caption, kCommandButtonBackColor.toQColor(), &form);
        form.placeControl(row.id, button, storedRect(row));
        return button;
    }
    case ControlKind::Label: {
        platform::finishFontSetup();
        auto* label = new QLabel(caption, &form);
        label->setTextFormat(Qt::PlainText);
        label->setFont(labelFont());
        label->setFocusPolicy(Qt::NoFocus);
        // The label sizes itself to its text in whatever font stands in for the stored one.
        const QSize textSize = label->sizeHint();
        form.placeControl(row.id, label,
                          {row.left, row.top, scale.fromPixels(textSize.width()),
                           scale.fromPixels(textSize.height())});
        return label;
    }
    case ControlKind::Image: {
        auto* image = new ImageBox(&form);
        image->setPicture(splash);
        form.placeControl(row.id, image, storedRect(row));
        return image;
    }
    case ControlKind::DialogComponent:
        // Invisible at run time; the shell gives the handlers the dialog component itself.
        return nullptr;
    }
    return nullptr;
}

} // namespace

std::unique_ptr<Form1> buildForm1()
{
    auto form = std::make_unique<Form1>();
    form->setObjectName(QStringLiteral("Form1"));
    const TwipsScale scale = TwipsScale::forWidget(*form);

    form->setWindowTitle(toQString(kForm1.caption));
    const QImage icon = picture::builtInIcon();
    form->setWindowIcon(QIcon(QPixmap::fromImage(icon)));
    form->setBackground(kForm1.backColor.toQColor(), icon, kForm1.backgroundPictureSize);
    // Decoded before any control is made, while the font configuration is still being read
    // on its own thread: Label1, the first to measure text, then waits for it the less.
    const picture::Picture splash = picture::splashPicture(scale.logicalDpi());

    std::vector<std::pair<int, QWidget*>> focusChain;
    std::vector<QWidget*> buttons;
    for (const ControlDescription& row : kControls) {
        QWidget* widget = createControl(*form, row, scale, splash);
        if (!widget)
            continue;
        widget->setObjectName(toQString(row.name));
        if (row.kind == ControlKind::CommandButton) {
            buttons.push_back(widget);
            focusChain.emplace_back(row.tabIndex, widget);
        }
    }

    std::ranges::sort(focusChain, {}, &std::pair<int, QWidget*>::first);
    for (std::size_t i = 1; i < focusChain.size(); ++i)
        QWidget::setTabOrder(focusChain[i - 1].second, focusChain[i].second);
    for (QWidget* button : buttons)
        button->raise();
    focusChain.front().second->setFocus();

    const QSize client = scale.toPixels(kForm1.clientWidth, kForm1.clientHeight);
    form->resize(client);
    if (const QScreen* screen = form->screen()) {
        QRect centred(QPoint(), client);
        centred.moveCenter(screen->availableGeometry().center());
        form->move(centred.topLeft());
    }
    return form;
}

} // namespace kavelora::window
