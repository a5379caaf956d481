#pragma once

#include <QFont>
#include <QObject>
#include <QString>
#include <QVariant>

namespace Quillmere {

class PropertyBag;

// Every property of the progress bar, the range rules of Value, Max and Min, and the saving
// and restoring of the properties. Every setter stores, then raises PropertyChanged with the
// property's name, also when the value does not change; the drawing follows the signal.
class ProgressBarModel : public QObject
{
    Q_OBJECT

public:
    // Any integer is accepted; values outside the lists draw as the drawing decides.
    enum class BarTheme : qint32 { Gold = 1, Lime, Green, Teal, Blue, Pink, Red, Aqua, SilverGreen, Custom };
    enum class BarTextStyle : qint32 { ValueText = 1, PercentText, CaptionText };
    enum class BarOrientation : qint32 { Horizontal = 1, Vertical };
    enum class BarTextAlignment : qint32 {
        TopLeft = 1,
        MiddleLeft,
        BottomLeft,
        TopCenter,
        MiddleCenter,
        BottomCenter,
        TopRight,
        MiddleRight,
        BottomRight,
    };
    enum class BarTextEffect : qint32 { Plain = 1, Raised, Sunken, Outline, Shadow };
    // 0x00BBGGRR: red in the low byte.
    using Colour = quint32;
    // The persisted properties, in the order WriteProperties writes them.
    enum class Stored {
        Orientations,
        Max,
        Min,
        Value,
        RoundedValue,
        Enabled,
        Theme,
        TextStyle,
        TextFont,
        TextForeColor,
        TextAlignment,
        Text,
        TextEffectColor,
        TextEffect,
        PBSCustomeColor2,
        PBSCustomeColor1,
    };

    // The default a property is written with. TextFont's is the host's ambient font, so null
    // here; Text's is empty, while reading falls back to the instance's display name.
    static QVariant storedDefault(Stored property);

    // Everything starts at zero, false or empty until InitProperties or ReadProperties.
    explicit ProgressBarModel(QObject *parent = nullptr);

    qint32 Value() const { return m_value; }
    void setValue(qint32 value);
    qint32 Max() const { return m_max; }
    void setMax(qint32 value);
    qint32 Min() const { return m_min; }
    void setMin(qint32 value);
    qint32 RoundedValue() const { return m_roundedValue; }
    void setRoundedValue(qint32 value) { store(m_roundedValue, value, Stored::RoundedValue); }
    // The look only: a disabled bar draws grey and still takes every setting.
    bool Enabled() const { return m_enabled; }
    void setEnabled(bool value) { store(m_enabled, value, Stored::Enabled); }
    BarTheme Theme() const { return m_theme; }
    void setTheme(BarTheme value) { store(m_theme, value, Stored::Theme); }
    BarTextStyle TextStyle() const { return m_textStyle; }
    void setTextStyle(BarTextStyle value) { store(m_textStyle, value, Stored::TextStyle); }
    BarOrientation Orientations() const { return m_orientations; }
    void setOrientations(BarOrientation value) { store(m_orientations, value, Stored::Orientations); }
    BarTextAlignment TextAlignment() const { return m_textAlignment; }
    void setTextAlignment(BarTextAlignment value) { store(m_textAlignment, value, Stored::TextAlignment); }
    QString Text() const { return m_text; }
    void setText(const QString &value) { store(m_text, value, Stored::Text); }
    Colour TextEffectColor() const { return m_textEffectColor; }
    void setTextEffectColor(Colour value) { store(m_textEffectColor, value, Stored::TextEffectColor); }
    BarTextEffect TextEffect() const { return m_textEffect; }
    void setTextEffect(BarTextEffect value) { store(m_textEffect, value, Stored::TextEffect); }
    Colour TextForeColor() const { return m_textForeColor; }
    void setTextForeColor(Colour value) { store(m_textForeColor, value, Stored::TextForeColor); }
    QFont TextFont() const { return m_textFont; }
    void setTextFont(const QFont &value) { store(m_textFont, value, Stored::TextFont); }
    Colour PBSCustomeColor1() const { return m_customColor1; }
    void setPBSCustomeColor1(Colour value) { store(m_customColor1, value, Stored::PBSCustomeColor1); }
    Colour PBSCustomeColor2() const { return m_customColor2; }
    void setPBSCustomeColor2(Colour value) { store(m_customColor2, value, Stored::PBSCustomeColor2); }

    // The filled share, Value against Max (Min does not enter): 0 to 100, unrounded.
    double percent() const;

    // A new bar: the defaults, through the setters.
    void InitProperties(const QFont &ambientFont);
    // A bar with stored data: every key, through the setters; a missing key gives its default,
    // and a value that does not fit its property leaves the property as it was.
    void ReadProperties(const PropertyBag &bag, const QFont &ambientFont, const QString &displayName);
    void WriteProperties(PropertyBag &bag, const QFont &ambientFont) const;

Q_SIGNALS:
    void PropertyChanged(const QString &PropertyName);

private:
    template<typename T> void store(T &field, const T &value, Stored property)
    {
        field = value;
        notify(property);
    }
    void notify(Stored property);

    qint32 m_value = 0;
    qint32 m_max = 0;
    qint32 m_min = 0;
    qint32 m_roundedValue = 0;
    bool m_enabled = false;
    BarTheme m_theme = BarTheme(0);
    BarTextStyle m_textStyle = BarTextStyle(0);
    BarOrientation m_orientations = BarOrientation(0);
    BarTextAlignment m_textAlignment = BarTextAlignment(0);
    QString m_text;
    Colour m_textEffectColor = 0;
    BarTextEffect m_textEffect = BarTextEffect(0);
    Colour m_textForeColor = 0;
    QFont m_textFont;
    Colour m_customColor1 = 0;
    Colour m_customColor2 = 0;
};

}  // namespace Quillmere
