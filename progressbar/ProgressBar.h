#pragma once

#include "progressbar/ProgressBarModel.h"

#include <QImage>
#include <QWidget>

class PropertyBag;

// The self-drawn progress bar. Its picture is kept in an image that DrawBar repaints after
// every property change and every resize; a paint request only shows that image. The host
// calls InitProperties for a new bar or ReadProperties with its stored design data; the bar's
// objectName is its display name, and the host's font (the font it inherits) its ambient font.
class ProgressBar : public QWidget
{
    Q_OBJECT

public:
    explicit ProgressBar(QWidget *parent = nullptr);

    ProgressBarModel &model() { return m_model; }
    const ProgressBarModel &model() const { return m_model; }

    void InitProperties();
    void ReadProperties(const PropertyBag &bag);
    void WriteProperties(PropertyBag &bag) const;

    // What the next paint shows.
    const QImage &picture() const { return m_picture; }

Q_SIGNALS:
    // Raised before the bar redraws for the change.
    void PropertyChanged(const QString &PropertyName);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void DrawBar();

    ProgressBarModel m_model;
    QImage m_picture;
};
