#include "progressbar/ProgressBarModel.h"

#include "progressbar/PropertyBag.h"

#include <functional>

using namespace Qt::StringLiterals;

namespace {

constexpr qint32 DefaultMax = 100;
constexpr qint32 DefaultValue = 50;
constexpr qint32 DefaultRoundedValue = 5;
constexpr qint32 DefaultAlignment = 5;
constexpr qint32 StoredTextStyle = 1;
constexpr qint32 StoredTextEffect = 1;
constexpr ProgressBarModel::Colour White = 0xFFFFFF;
constexpr ProgressBarModel::Colour StoredEffectColour = 0xC8C8C8;

// Reads name and hands the value to apply when it converts to T, as a setter would take it.
template<typename T>
void applyStored(const PropertyBag &bag, const QString &name, const T &fallback, const std::function<void(T)> &apply)
{
    QVariant stored = bag.ReadProperty(name, QVariant::fromValue(fallback));
    if (stored.convert(QMetaType::fromType<T>()))
        apply(stored.value<T>());
}

template<typename Enum>
std::function<void(qint32)> asEnum(ProgressBarModel *model, void (ProgressBarModel::*setter)(Enum))
{
    return [model, setter](qint32 value) { (model->*setter)(Enum(value)); };
}

} // namespace

ProgressBarModel::ProgressBarModel(QObject *parent)
    : QObject(parent)
{
}

template<typename T>
void ProgressBarModel::store(T &field, const T &value, const QString &name)
{
    field = value;
    Q_EMIT PropertyChanged(name);
}

void ProgressBarModel::setValue(qint32 value)
{
    if (value > m_max)
        value = m_max;
    if (value < m_min)
        value = m_min;
    store(m_value, value, u"Value"_s);
}

void ProgressBarModel::setMax(qint32 value)
{
    if (value < 1)
        value = 1;
    if (value <= m_min)
        value = m_min + 1;
    m_max = value;
    if (m_value > m_max)
        setValue(m_max);
    Q_EMIT PropertyChanged(u"Max"_s);
}

void ProgressBarModel::setMin(qint32 value)
{
    if (value >= m_max)
        value = m_max - 1;
    if (value < 0)
        value = 0;
    m_min = value;
    if (m_value < m_min)
        setValue(m_min);
    Q_EMIT PropertyChanged(u"Min"_s);
}

void ProgressBarModel::setRoundedValue(qint32 value)
{
    store(m_roundedValue, value, u"RoundedValue"_s);
}

void ProgressBarModel::setEnabled(bool value)
{
    store(m_enabled, value, u"Enabled"_s);
}

void ProgressBarModel::setTheme(BarTheme value)
{
    store(m_theme, value, u"Theme"_s);
}

void ProgressBarModel::setTextStyle(BarTextStyle value)
{
    store(m_textStyle, value, u"TextStyle"_s);
}

void ProgressBarModel::setOrientations(BarOrientation value)
{
    store(m_orientations, value, u"Orientations"_s);
}

void ProgressBarModel::setTextAlignment(BarTextAlignment value)
{
    store(m_textAlignment, value, u"TextAlignment"_s);
}

void ProgressBarModel::setText(const QString &value)
{
    store(m_text, value, u"Text"_s);
}

void ProgressBarModel::setTextEffectColor(Colour value)
{
    store(m_textEffectColor, value, u"TextEffectColor"_s);
}

void ProgressBarModel::setTextEffect(BarTextEffect value)
{
    store(m_textEffect, value, u"TextEffect"_s);
}

void ProgressBarModel::setTextForeColor(Colour value)
{
    store(m_textForeColor, value, u"TextForeColor"_s);
}

void ProgressBarModel::setTextFont(const QFont &value)
{
    store(m_textFont, value, u"TextFont"_s);
}

void ProgressBarModel::setPBSCustomeColor1(Colour value)
{
    store(m_customColor1, value, u"PBSCustomeColor1"_s);
}

void ProgressBarModel::setPBSCustomeColor2(Colour value)
{
    store(m_customColor2, value, u"PBSCustomeColor2"_s);
}

double ProgressBarModel::percent() const
{
    // Max is 0 only before the properties are first set; such a bar draws empty.
    return m_max > 0 ? m_value * 100.0 / m_max : 0;
}

void ProgressBarModel::InitProperties(const QFont &ambientFont)
{
    setMax(DefaultMax);
    setMin(0);
    setValue(DefaultValue);
    setRoundedValue(DefaultRoundedValue);
    setEnabled(true);
    setTheme(BarTheme::Gold);
    setTextForeColor(0);
    setText(u"Ostrel ProgressBar"_s);
    setTextAlignment(BarTextAlignment::MiddleCenter);
    setTextEffect(BarTextEffect::Shadow);
    setTextEffectColor(White);
    setTextStyle(BarTextStyle::CaptionText);
    setOrientations(BarOrientation::Horizontal);
    setTextFont(ambientFont);
}

// The order Max, Min, Value restores any saved range from the all-zero start.
void ProgressBarModel::ReadProperties(const PropertyBag &bag, const QFont &ambientFont, const QString &displayName)
{
    using std::bind_front;
    applyStored<qint32>(bag, u"Max"_s, DefaultMax, bind_front(&ProgressBarModel::setMax, this));
    applyStored<qint32>(bag, u"Min"_s, 0, bind_front(&ProgressBarModel::setMin, this));
    applyStored<qint32>(bag, u"Value"_s, DefaultValue, bind_front(&ProgressBarModel::setValue, this));
    applyStored<qint32>(bag, u"RoundedValue"_s, DefaultRoundedValue, bind_front(&ProgressBarModel::setRoundedValue, this));
    applyStored<bool>(bag, u"Enabled"_s, true, bind_front(&ProgressBarModel::setEnabled, this));
    applyStored<qint32>(bag, u"Theme"_s, qint32(BarTheme::Gold), asEnum(this, &ProgressBarModel::setTheme));
    applyStored<qint32>(bag, u"TextStyle"_s, StoredTextStyle, asEnum(this, &ProgressBarModel::setTextStyle));
    applyStored<qint32>(bag, u"Orientations"_s, qint32(BarOrientation::Horizontal),
                        asEnum(this, &ProgressBarModel::setOrientations));
    applyStored<QString>(bag, u"Text"_s, displayName, bind_front(&ProgressBarModel::setText, this));
    applyStored<Colour>(bag, u"TextEffectColor"_s, StoredEffectColour, bind_front(&ProgressBarModel::setTextEffectColor, this));
    applyStored<qint32>(bag, u"TextEffect"_s, StoredTextEffect, asEnum(this, &ProgressBarModel::setTextEffect));
    applyStored<qint32>(bag, u"TextAlignment"_s, DefaultAlignment, asEnum(this, &ProgressBarModel::setTextAlignment));
    applyStored<QFont>(bag, u"TextFont"_s, ambientFont, bind_front(&ProgressBarModel::setTextFont, this));
    applyStored<Colour>(bag, u"TextForeColor"_s, 0, bind_front(&ProgressBarModel::setTextForeColor, this));
    applyStored<Colour>(bag, u"PBSCustomeColor2"_s, 0, bind_front(&ProgressBarModel::setPBSCustomeColor2, this));
    applyStored<Colour>(bag, u"PBSCustomeColor1"_s, 0, bind_front(&ProgressBarModel::setPBSCustomeColor1, this));
}

// The stored defaults of TextStyle, TextEffect, TextEffectColor and Text differ from those of
// a new bar, so a new bar stores those four explicitly.
void ProgressBarModel::WriteProperties(PropertyBag &bag, const QFont &ambientFont) const
{
    bag.WriteProperty(u"Orientations"_s, qint32(m_orientations), qint32(BarOrientation::Horizontal));
    bag.WriteProperty(u"Max"_s, m_max, DefaultMax);
    bag.WriteProperty(u"Min"_s, m_min, 0);
    bag.WriteProperty(u"Value"_s, m_value, DefaultValue);
    bag.WriteProperty(u"RoundedValue"_s, m_roundedValue, DefaultRoundedValue);
    bag.WriteProperty(u"Enabled"_s, m_enabled, true);
    bag.WriteProperty(u"Theme"_s, qint32(m_theme), qint32(BarTheme::Gold));
    bag.WriteProperty(u"TextStyle"_s, qint32(m_textStyle), StoredTextStyle);
    // A font equal to the host's is left out, so the bar follows the host's font when read.
    bag.WriteProperty(u"TextFont"_s, QVariant::fromValue(m_textFont), QVariant::fromValue(ambientFont));
    bag.WriteProperty(u"TextForeColor"_s, m_textForeColor, Colour(0));
    bag.WriteProperty(u"TextAlignment"_s, qint32(m_textAlignment), DefaultAlignment);
    bag.WriteProperty(u"Text"_s, m_text, QString());
    bag.WriteProperty(u"TextEffectColor"_s, m_textEffectColor, StoredEffectColour);
    bag.WriteProperty(u"TextEffect"_s, qint32(m_textEffect), StoredTextEffect);
    bag.WriteProperty(u"PBSCustomeColor2"_s, m_customColor2, Colour(0));
    bag.WriteProperty(u"PBSCustomeColor1"_s, m_customColor1, Colour(0));
}
