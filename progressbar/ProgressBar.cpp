#include "progressbar/ProgressBar.h"

#include "progressbar/ProgressBarAccessible.h"
#include "progressbar/PropertyBag.h"

#include <QAccessible>

#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>

#include <climits>
#include <cmath>
#include <span>

using namespace Qt::StringLiterals;

namespace Quillmere {

using namespace BarColours;

namespace {

using Orientation = ProgressBarModel::BarOrientation;
using Style = ProgressBarModel::BarTextStyle;

constexpr qint32 HorizontalGradient = 0;
constexpr qint32 VerticalGradient = 1;
constexpr Colour FixedGrey = rgb(128, 128, 128);

// Every fraction of the bar rounds to the nearest pixel with ties to even: 104.5 gives 104.
int roundHalfEven(double value)
{
    return int(std::nearbyint(qBound(double(INT_MIN), value, double(INT_MAX))));
}

QColor toQColor(Colour c)
{
    return QColor(toQRgb(c));
}

// The colours of one print of the text; the grey is fixed, also on a disabled bar.
enum class Ink { Text, Effect, Grey };

struct Copy
{
    int dx;
    int dy;
    Ink ink;
};

// Each effect's prints in order, so a later copy covers an earlier one; the text comes last.
constexpr Copy Plain[] = {{0, 0, Ink::Text}};
constexpr Copy Raised[] = {{-1, -1, Ink::Effect}, {1, 1, Ink::Grey}, {0, 0, Ink::Text}};
constexpr Copy Sunken[] = {{1, 1, Ink::Effect}, {-1, 0, Ink::Grey}, {0, 0, Ink::Text}};
constexpr Copy Outline[] = {
    {1, 0, Ink::Effect}, {-1, 0, Ink::Effect}, {0, -1, Ink::Effect}, {0, 1, Ink::Effect}, {0, 0, Ink::Text},
};
constexpr Copy Shadow[] = {{1, 1, Ink::Effect}, {0, 0, Ink::Text}};

std::span<const Copy> effectCopies(ProgressBarModel::BarTextEffect effect)
{
    using Effect = ProgressBarModel::BarTextEffect;
    switch (effect) {
    case Effect::Plain:
        return Plain;
    case Effect::Raised:
        return Raised;
    case Effect::Sunken:
        return Sunken;
    case Effect::Outline:
        return Outline;
    case Effect::Shadow:
        return Shadow;
    }
    return {};
}

// Margins of 1 pixel on the left, 3 on the right, none at the top and 1 at the bottom; centred
// text sits one pixel left of and above the true centre. Other alignments take the corner.
QPoint textPosition(qint32 alignment, QSize bar, QSizeF text)
{
    if (alignment < 1 || alignment > 9)
        return {0, 0};
    const double x[] = {1, bar.width() / 2.0 - text.width() / 2 - 1, bar.width() - text.width() - 3};
    const double y[] = {0, bar.height() / 2.0 - text.height() / 2 - 1, bar.height() - text.height() - 1};
    return {roundHalfEven(x[(alignment - 1) / 3]), roundHalfEven(y[(alignment - 1) % 3])};
}

QSizeF fontMeasure(const QFont &font, const QString &text)
{
    const QFontMetricsF metrics(font);
    return {metrics.horizontalAdvance(text), metrics.height()};
}

}  // namespace

ProgressBar::ProgressBar(QWidget *parent)
    : QWidget(parent)
    , m_textMeasure(fontMeasure)
{
    static const bool accessible = (QAccessible::installFactory(&ProgressBarAccessible::create), true);
    Q_UNUSED(accessible);
    // A caption such as "<b>" is printed as it stands.
    m_textLayout.setTextFormat(Qt::PlainText);
    // The picture covers every pixel: nothing beneath needs painting first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    connect(&m_model, &ProgressBarModel::PropertyChanged, this, [this](const QString &name) {
        Q_EMIT PropertyChanged(name);
        DrawBar();
        announceValue();
    });
}

// The bar never sets a font of its own, so font() is the one it inherits from its host.
void ProgressBar::InitProperties()
{
    m_model.InitProperties(font());
}

void ProgressBar::ReadProperties(const PropertyBag &bag)
{
    m_model.ReadProperties(bag, font(), objectName());
}

void ProgressBar::WriteProperties(PropertyBag &bag) const
{
    m_model.WriteProperties(bag, font());
}

void ProgressBar::setTextMeasure(TextMeasure measure)
{
    m_textMeasure = measure ? std::move(measure) : TextMeasure(fontMeasure);
    DrawBar();
}

void ProgressBar::paintEvent(QPaintEvent *)
{
    // On a screen of another pixel density the kept picture would be scaled and blurred.
    if (!m_picture.isNull() && m_picture.devicePixelRatio() != devicePixelRatioF())
        DrawBar();
    QPainter(this).drawImage(0, 0, m_picture);
}

void ProgressBar::resizeEvent(QResizeEvent *)
{
    DrawBar();
}

void ProgressBar::GradientTwoColour(QPainter &hDC, qint32 Direction, Colour StartColor, Colour EndColor, qint32 Left,
                                    qint32 Top, qint32 Width, qint32 Height)
{
    if (Width <= Left || Height <= Top || (Direction != HorizontalGradient && Direction != VerticalGradient))
        return;
    // The ends sit on pixel centres, so the first pixel is StartColor itself and each further
    // pixel moves one step of the span towards EndColor.
    QLinearGradient gradient = Direction == HorizontalGradient ? QLinearGradient(Left + 0.5, 0, Width + 0.5, 0)
                                                               : QLinearGradient(0, Top + 0.5, 0, Height + 0.5);
    gradient.setColorAt(0, toQColor(StartColor));
    gradient.setColorAt(1, toQColor(EndColor));
    hDC.fillRect(QRectF(QPointF(Left, Top), QPointF(Width, Height)), gradient);
}

bool ProgressBar::DrawGradientFourColour(QPainter &ObjectHDC, qint32 Left, qint32 Top, qint32 Width, qint32 Height,
                                         Colour TopLeftColour, Colour TopRightColour, Colour BottomLeftColour,
                                         Colour BottomRightColour)
{
    if (Width < 1 || Height < 0 || !ObjectHDC.isActive())
        return false;
    // Only what the surface can show is computed, so a huge rectangle costs no more than the
    // surface and never needs a huge row.
    const QPaintDevice *device = ObjectHDC.device();
    QRect shown =
        ObjectHDC.deviceTransform().inverted().mapRect(QRectF(0, 0, device->width(), device->height())).toAlignedRect();
    if (ObjectHDC.hasClipping())
        shown &= ObjectHDC.clipBoundingRect().toAlignedRect();
    const qint64 left = qMax<qint64>(Left, shown.left());
    const qint64 top = qMax<qint64>(Top, shown.top());
    const qint64 right = qMin<qint64>(qint64(Left) + Width, qint64(shown.left()) + shown.width());
    const qint64 bottom = qMin<qint64>(qint64(Top) + Height, qint64(shown.top()) + shown.height());
    if (left >= right || top >= bottom)
        return true;

    QImage block(int(right - left), int(bottom - top), QImage::Format_RGB32);
    for (qint64 y = top; y < bottom; ++y) {
        const Colour rowStart = interpolatedColour(TopLeftColour, BottomLeftColour, Height, y - Top);
        const Colour rowEnd = interpolatedColour(TopRightColour, BottomRightColour, Height, y - Top);
        auto *line = reinterpret_cast<QRgb *>(block.scanLine(int(y - top)));
        for (qint64 x = left; x < right; ++x)
            line[x - left] = toQRgb(interpolatedColour(rowStart, rowEnd, Width, x - Left));
    }
    ObjectHDC.drawImage(QPoint(int(left), int(top)), block);
    return true;
}

void ProgressBar::DrawBar()
{
    updateShape();
    SetThemeColours();
    if (!m_model.Enabled()) {
        for (Colour &entry : m_palette)
            entry = GreyOf(entry);
    }

    const QSize size = this->size();
    if (size.isEmpty()) {
        m_picture = QImage();
        return;
    }
    // Drawn at the screen's pixel density; every position below stays in logical pixels.
    const qreal ratio = devicePixelRatioF();
    const QSize pixels = (QSizeF(size) * ratio).toSize();
    if (m_picture.size() != pixels || m_picture.devicePixelRatio() != ratio) {
        m_picture = QImage(pixels, QImage::Format_RGB32);
        m_picture.setDevicePixelRatio(ratio);
    }
    // The track covers every pixel of a horizontal or vertical bar, so only a bar without one
    // needs clearing.
    const Orientation orientation = m_model.Orientations();
    if (orientation != Orientation::Horizontal && orientation != Orientation::Vertical)
        m_picture.fill(palette().color(backgroundRole()));
    QPainter painter(&m_picture);
    // A surface that cannot be painted keeps its cleared picture; the bar still shows it.
    if (painter.isActive()) {
        drawTrackAndFill(painter);
        for (const QRect &run : m_shape.outline())
            painter.fillRect(run, toQColor(m_palette[16]));
        DrawBarText(painter, text(), qint32(m_model.TextAlignment()));
    }
    update();
}

// Told as a Qt progress bar tells it: once per new value, so never more often than it redraws.
void ProgressBar::announceValue()
{
    if (m_model.Value() == m_announcedValue)
        return;
    m_announcedValue = m_model.Value();
    QAccessibleValueChangeEvent event(this, m_announcedValue);
    QAccessible::updateAccessibility(&event);
}

void ProgressBar::updateShape()
{
    const QSize size = this->size();
    const qint32 rounding = m_model.RoundedValue();
    if (size == m_shape.size() && rounding == m_shape.rounding())
        return;
    m_shape = BarShape(size, rounding);
    if (size.isEmpty())
        clearMask();
    else
        setMask(m_shape.window());
}

void ProgressBar::SetThemeColours()
{
    if (const auto palette = themePalette(qint32(m_model.Theme()), m_model.PBSCustomeColor1(), m_model.PBSCustomeColor2()))
        m_palette = *palette;
}

// Each half across the bar runs its own gradient: first the whole track, then the fill over it
// from the left edge (horizontal) or the top edge (vertical).
void ProgressBar::drawTrackAndFill(QPainter &painter)
{
    const Orientation orientation = m_model.Orientations();
    if (orientation != Orientation::Horizontal && orientation != Orientation::Vertical)
        return;
    const int width = size().width();
    const int height = size().height();
    const bool horizontal = orientation == Orientation::Horizontal;
    const int fill = roundHalfEven((horizontal ? width : height) * m_model.percent() / 100);
    const auto halves = [&](int entry, int length) {
        if (horizontal) {
            const int split = roundHalfEven(height / 2.0);
            GradientTwoColour(painter, VerticalGradient, m_palette[entry], m_palette[entry + 2], 0, 0, length, split);
            GradientTwoColour(painter, VerticalGradient, m_palette[entry + 4], m_palette[entry + 6], 0, split, length,
                              height);
        } else {
            const int split = roundHalfEven(width / 2.0);
            GradientTwoColour(painter, HorizontalGradient, m_palette[entry], m_palette[entry + 2], 0, 0, split, length);
            GradientTwoColour(painter, HorizontalGradient, m_palette[entry + 4], m_palette[entry + 6], split, 0, width,
                              length);
        }
    };
    halves(0, horizontal ? width : height);
    if (m_model.Value() >= 1)
        halves(8, fill);
}

QString ProgressBar::text() const
{
    switch (m_model.TextStyle()) {
    case Style::ValueText:
        return QString::number(m_model.Value());
    case Style::PercentText:
        // Up to 15 significant digits without trailing zeros, always with a full stop.
        return QString::number(m_model.percent(), 'g', 15) + u'%';
    case Style::CaptionText:
        return m_model.Text();
    }
    return {};
}

void ProgressBar::DrawBarText(QPainter &painter, const QString &text, qint32 alignment)
{
    const std::span<const Copy> copies = effectCopies(m_model.TextEffect());
    if (copies.empty() || text.isEmpty())
        return;
    const bool enabled = m_model.Enabled();
    const Colour textColour = enabled ? m_model.TextForeColor() : GreyOf(m_model.TextForeColor());
    const Colour effectColour = enabled ? m_model.TextEffectColor() : GreyOf(m_model.TextEffectColor());

    const QFont font = m_model.TextFont();
    // Only the placements away from the top-left corner depend on the text's size.
    const bool measured = alignment >= 2 && alignment <= 9;
    const QPoint at = textPosition(alignment, size(), measured ? m_textMeasure(font, text) : QSizeF());
    // One layout serves every copy, and the next redraw too while the text and font stay.
    if (m_textLayout.text() != text)
        m_textLayout.setText(text);
    painter.setFont(font);
    for (const Copy &copy : copies) {
        const Colour ink = copy.ink == Ink::Text ? textColour : copy.ink == Ink::Effect ? effectColour : FixedGrey;
        painter.setPen(toQColor(ink));
        painter.drawStaticText(at + QPoint(copy.dx, copy.dy), m_textLayout);
    }
}

}  // namespace Quillmere
