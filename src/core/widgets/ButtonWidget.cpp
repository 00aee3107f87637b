#include "core/widgets/ButtonWidget.h"

#include <QMouseEvent>
#include <QPainter>

#include "core/widgets/WidgetColours.h"

namespace kelvra::widgets {

ButtonWidget::ButtonWidget(ButtonModel& model, QWidget* parent)
    : QAbstractButton(parent), model_(model) {
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::PointingHandCursor);
    connect(this, &QAbstractButton::clicked, &model_, [this] { model_.click(); });
    connect(&model_, &ButtonModel::changed, this, &ButtonWidget::modelChanged);
    modelChanged();
}

void ButtonWidget::setFace(const QString& face) {
    face_ = face;
    modelChanged();
}

void ButtonWidget::setStyle(Style style) {
    style_ = style;
    setAttribute(Qt::WA_TransparentForMouseEvents, style == Style::Hint);
    setCursor(style == Style::Hint ? Qt::ArrowCursor : Qt::PointingHandCursor);
    update();
}

void ButtonWidget::setFacePixelSize(int pixels) {
    facePixels_ = pixels;
    update();
}

QString ButtonWidget::shownText() const {
    return model_.caption().isEmpty() ? face_ : model_.caption();
}

void ButtonWidget::modelChanged() {
    setText(shownText());
    setToolTip(model_.toolTip());
    setEnabled(model_.isEnabled());
    setCursor(model_.isEnabled() && style_ != Style::Hint ? Qt::PointingHandCursor
                                                          : Qt::ArrowCursor);
    // Only the model says whether the button is hidden; the window shows its children.
    if (!model_.isVisible())
        hide();
    else if (isHidden() && parentWidget())
        show();
    update();
}

QColor ButtonWidget::backColour() const {
    // The program's unlit green is a mid green that reads as lit beside the bright one in a dark
    // room: it is drawn as a dim, dark green, so lit and unlit tell apart at a glance.
    if (model_.backColour() == kColourOff) return QColor(0x1c, 0x33, 0x22);
    if (model_.backColour() != kColourNone) return colourFromNumber(model_.backColour());
    switch (style_) {
        case Style::Flat:
            return Qt::transparent;
        case Style::Hint:
            return QColor(0xff, 0xd5, 0x4a);
        case Style::Normal:
            break;
    }
    return kSurfaceRaised;
}

QSize ButtonWidget::sizeHint() const {
    return {72, 32};
}

void ButtonWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QColor back = backColour();
    const bool coloured = model_.backColour() != kColourNone;
    // A button that cannot be pressed looks it: a flat, greyed face and dim lettering.
    const bool enabled = isEnabled();
    if (!enabled && back.alpha() > 0) {
        const int grey = qGray(back.rgb());
        back = QColor(grey, grey, grey).darker(160);
    }
    const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);

    if (style_ == Style::Flat) {
        if (hovered_ || isDown()) {
            painter.setPen(Qt::NoPen);
            painter.setBrush(isDown() ? kSurfaceSunken : kSurfaceRaised);
            painter.drawRoundedRect(box, 4, 4);
        }
    } else {
        if (!enabled) {
            // no hover or press feedback
        } else if (isDown())
            back = back.darker(130);
        else if (hovered_ && style_ == Style::Normal)
            back = back.lighter(coloured ? 108 : 125);
        QLinearGradient shade(box.topLeft(), box.bottomLeft());
        shade.setColorAt(0, back.lighter(style_ == Style::Hint ? 100 : 115));
        shade.setColorAt(1, back.darker(style_ == Style::Hint ? 100 : 115));
        painter.setBrush(shade);
        painter.setPen(
            QPen(style_ == Style::Hint ? back.darker(150) : QColor(0x0b, 0x0d, 0x10), 1));
        painter.drawRoundedRect(box, 5, 5);
        if (enabled && coloured && model_.backColour() == kColourOn) {
            // A lit button glows a little at its rim.
            painter.setBrush(Qt::NoBrush);
            painter.setPen(QPen(QColor(0xb8, 0xff, 0xb8, 160), 1));
            painter.drawRoundedRect(box.adjusted(1, 1, -1, -1), 4, 4);
        }
    }

    // Dark text on a bright face, light text on a dark one.
    const QColor ink = !enabled                                     ? QColor(0x70, 0x76, 0x7e)
                       : back.alpha() > 0 && back.lightness() > 140 ? QColor(0x08, 0x10, 0x08)
                                                                    : kText;
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(facePixels_);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(ink);
    painter.drawText(rect().adjusted(2, 0, -2, 0), Qt::AlignCenter, shownText());
}

void ButtonWidget::mousePressEvent(QMouseEvent* event) {
    model_.pressMouse(event->button());
    QAbstractButton::mousePressEvent(event);
}

void ButtonWidget::mouseReleaseEvent(QMouseEvent* event) {
    model_.releaseMouse(event->button());
    QAbstractButton::mouseReleaseEvent(event);
}

void ButtonWidget::enterEvent(QEnterEvent* event) {
    hovered_ = true;
    update();
    QAbstractButton::enterEvent(event);
}

void ButtonWidget::leaveEvent(QEvent* event) {
    hovered_ = false;
    update();
    QAbstractButton::leaveEvent(event);
}

}  // namespace kelvra::widgets
