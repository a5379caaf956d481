#pragma once

#include "progressbar/BarColours.h"
#include "progressbar/BarShape.h"
#include "progressbar/ProgressBarModel.h"

#include <QImage>
#include <QStaticText>
#include <QWidget>

#include <functional>

class QPainter;

namespace Quillmere {

class PropertyBag;

// The self-drawn progress bar. Its picture is kept in an image that DrawBar repaints after
// every property change and every resize; a paint request only shows that image. The host
// calls InitProperties for a new bar or ReadProperties with its stored design data; the bar's
// objectName is its display name, and the host's font (the font it inherits) its ambient font.
class ProgressBar : public QWidget
{
    Q_OBJECT

public:
    using Colour = ProgressBarModel::Colour;
    // The width and height, in pixels, of a text printed in a font.
    using TextMeasure = std::function<QSizeF(const QFont &font, const QString &text)>;

    explicit ProgressBar(QWidget *parent = nullptr);

    ProgressBarModel &model() { return m_model; }
    const ProgressBarModel &model() const { return m_model; }

    void InitProperties();
    void ReadProperties(const PropertyBag &bag);
    void WriteProperties(PropertyBag &bag) const;

    // What the next paint shows, at the pixel density of the bar's screen.
    const QImage &picture() const { return m_picture; }
    // The colours of the last drawing; a theme outside 1 to 10 keeps them.
    const BarColours::BarPalette &Palette() const { return m_palette; }
    // What the bar prints: its value, its percentage or its caption, by TextStyle.
    QString text() const;
    // Replaces the font's own measurement of the bar's text; an empty function restores it.
    void setTextMeasure(TextMeasure measure);

    // Fills the rectangle from (Left, Top) up to, not including, the right edge Width and the
    // bottom edge Height: Direction 0 runs from StartColor at the left to EndColor at the right,
    // 1 from the top to the bottom. An empty rectangle or another Direction draws nothing.
    static void GradientTwoColour(QPainter &hDC, qint32 Direction, Colour StartColor, Colour EndColor, qint32 Left,
                                  qint32 Top, qint32 Width, qint32 Height);
    // Fills Width x Height pixels at (Left, Top) from the four corner colours; the last column
    // and row stop one step short of the right and bottom colours. False, drawing nothing, when
    // Width is below 1, Height is negative or the painter is not active.
    [[nodiscard]] static bool DrawGradientFourColour(QPainter &ObjectHDC, qint32 Left, qint32 Top, qint32 Width,
                                                     qint32 Height, Colour TopLeftColour, Colour TopRightColour,
                                                     Colour BottomLeftColour, Colour BottomRightColour);

Q_SIGNALS:
    // Raised before the bar redraws for the change.
    void PropertyChanged(const QString &PropertyName);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void DrawBar();
    void announceValue();
    void updateShape();
    void SetThemeColours();
    void drawTrackAndFill(QPainter &painter);
    void DrawBarText(QPainter &painter, const QString &text, qint32 alignment);

    ProgressBarModel m_model;
    QImage m_picture;
    BarColours::BarPalette m_palette{};
    TextMeasure m_textMeasure;
    QStaticText m_textLayout;
    // Made again only when the size or the corner rounding changes.
    BarShape m_shape;
    // The value assistive technologies were last told of.
    qint32 m_announcedValue = 0;
};

}  // namespace Quillmere
