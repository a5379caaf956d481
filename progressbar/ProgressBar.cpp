#include "progressbar/ProgressBar.h"

#include "progressbar/PropertyBag.h"

#include <QPainter>

#include <cmath>

namespace {

// Plain stand-ins for the track and the fill until the bar draws its themes.
constexpr QRgb TrackColour = qRgb(233, 227, 211);
constexpr QRgb FillColour = qRgb(203, 166, 57);

// Halves go to the even neighbour, so 50 % of 209 pixels fills 104.
int fillLength(int extent, double percent)
{
    return int(std::nearbyint(extent * percent / 100));
}

} // namespace

ProgressBar::ProgressBar(QWidget *parent)
    : QWidget(parent)
{
    // The picture covers every pixel: nothing beneath needs painting first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    connect(&m_model, &ProgressBarModel::PropertyChanged, this, [this](const QString &name) {
        Q_EMIT PropertyChanged(name);
        DrawBar();
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

void ProgressBar::paintEvent(QPaintEvent *)
{
    QPainter(this).drawImage(0, 0, m_picture);
}

void ProgressBar::resizeEvent(QResizeEvent *)
{
    DrawBar();
}

void ProgressBar::DrawBar()
{
    const QSize size = this->size();
    if (size.isEmpty()) {
        m_picture = QImage();
        return;
    }
    if (m_picture.size() != size)
        m_picture = QImage(size, QImage::Format_RGB32);
    m_picture.fill(TrackColour);

    const double percent = m_model.percent();
    QPainter painter(&m_picture);
    if (m_model.Value() >= 1 && m_model.Orientations() == ProgressBarModel::BarOrientation::Horizontal)
        painter.fillRect(0, 0, fillLength(size.width(), percent), size.height(), FillColour);
    else if (m_model.Value() >= 1 && m_model.Orientations() == ProgressBarModel::BarOrientation::Vertical)
        painter.fillRect(0, 0, size.width(), fillLength(size.height(), percent), FillColour);
    update();
}
