#include "progressbar/ProgressBarModel.h"

#include "progressbar/PropertyBag.h"

#include <array>
#include <type_traits>

using namespace Qt::StringLiterals;

namespace Quillmere {

namespace {

using Model = ProgressBarModel;
using Stored = ProgressBarModel::Stored;

constexpr qint32 DefaultMax = 100;
constexpr qint32 DefaultValue = 50;
constexpr qint32 DefaultRoundedValue = 5;
constexpr ProgressBarModel::Colour White = 0xFFFFFF;

// A property's value as a bag holds it: enums as their number.
template<typename T> auto toStored(T value)
{
    if constexpr (std::is_enum_v<T>)
        return qint32(value);
    else
        return value;
}

template<typename Setter> struct SetterArgument;
template<typename T> struct SetterArgument<void (Model::*)(T)>
{
    using type = std::remove_cvref_t<T>;
};

// Takes a property out of the model for a bag, and puts one from a bag in through its setter.
struct Accessor
{
    QMetaType storedType;
    QVariant (*get)(const Model &model);
    void (*set)(Model &model, const QVariant &value);
};

template<auto Getter, auto Setter> constexpr Accessor accessor()
{
    using T = typename SetterArgument<decltype(Setter)>::type;
    using S = decltype(toStored(std::declval<T>()));
    return {QMetaType::fromType<S>(), [](const Model &model) { return QVariant::fromValue(toStored((model.*Getter)())); },
            [](Model &model, const QVariant &value) { (model.*Setter)(T(value.value<S>())); }};
}

// Where a default beyond the table's number comes from: the host supplies those two.
enum class Host { None, AmbientFont, DisplayName };

struct StoredProperty
{
    Stored property;
    QStringView name;
    qint64 storedDefault;
    Host host;
    int readStep;  // place in the order ReadProperties reads
    Accessor access;
};

constexpr StoredProperty Properties[] = {
    {Stored::Orientations, u"Orientations", qint32(Model::BarOrientation::Horizontal), Host::None, 7,
     accessor<&Model::Orientations, &Model::setOrientations>()},
    {Stored::Max, u"Max", DefaultMax, Host::None, 0, accessor<&Model::Max, &Model::setMax>()},
    {Stored::Min, u"Min", 0, Host::None, 1, accessor<&Model::Min, &Model::setMin>()},
    {Stored::Value, u"Value", DefaultValue, Host::None, 2, accessor<&Model::Value, &Model::setValue>()},
    {Stored::RoundedValue, u"RoundedValue", DefaultRoundedValue, Host::None, 3,
     accessor<&Model::RoundedValue, &Model::setRoundedValue>()},
    {Stored::Enabled, u"Enabled", true, Host::None, 4, accessor<&Model::Enabled, &Model::setEnabled>()},
    {Stored::Theme, u"Theme", qint32(Model::BarTheme::Gold), Host::None, 5, accessor<&Model::Theme, &Model::setTheme>()},
    {Stored::TextStyle, u"TextStyle", qint32(Model::BarTextStyle::ValueText), Host::None, 6,
     accessor<&Model::TextStyle, &Model::setTextStyle>()},
    {Stored::TextFont, u"TextFont", 0, Host::AmbientFont, 12, accessor<&Model::TextFont, &Model::setTextFont>()},
    {Stored::TextForeColor, u"TextForeColor", 0, Host::None, 13,
     accessor<&Model::TextForeColor, &Model::setTextForeColor>()},
    {Stored::TextAlignment, u"TextAlignment", qint32(Model::BarTextAlignment::MiddleCenter), Host::None, 11,
     accessor<&Model::TextAlignment, &Model::setTextAlignment>()},
    {Stored::Text, u"Text", 0, Host::DisplayName, 8, accessor<&Model::Text, &Model::setText>()},
    {Stored::TextEffectColor, u"TextEffectColor", 0xC8C8C8, Host::None, 9,
     accessor<&Model::TextEffectColor, &Model::setTextEffectColor>()},
    {Stored::TextEffect, u"TextEffect", qint32(Model::BarTextEffect::Plain), Host::None, 10,
     accessor<&Model::TextEffect, &Model::setTextEffect>()},
    {Stored::PBSCustomeColor2, u"PBSCustomeColor2", 0, Host::None, 14,
     accessor<&Model::PBSCustomeColor2, &Model::setPBSCustomeColor2>()},
    {Stored::PBSCustomeColor1, u"PBSCustomeColor1", 0, Host::None, 15,
     accessor<&Model::PBSCustomeColor1, &Model::setPBSCustomeColor1>()},
};

constexpr qsizetype PropertyCount = std::size(Properties);

// Each row sits at its property's place, and the read steps name every row once.
constexpr bool tableIsWellFormed()
{
    std::array<bool, PropertyCount> read{};
    for (qsizetype i = 0; i < PropertyCount; ++i) {
        const int step = Properties[i].readStep;
        if (Properties[i].property != Stored(i) || step < 0 || step >= PropertyCount || read[step])
            return false;
        read[step] = true;
    }
    return true;
}
static_assert(tableIsWellFormed());

// Max, Min, Value first: from the all-zero start that order restores any saved range.
constexpr auto ReadOrder = [] {
    std::array<qsizetype, PropertyCount> order{};
    for (qsizetype i = 0; i < PropertyCount; ++i)
        order[Properties[i].readStep] = i;
    return order;
}();

}  // namespace

ProgressBarModel::ProgressBarModel(QObject *parent)
    : QObject(parent)
{
}

void ProgressBarModel::notify(Stored property)
{
    Q_EMIT PropertyChanged(Properties[qsizetype(property)].name.toString());
}

QVariant ProgressBarModel::storedDefault(Stored property)
{
    const StoredProperty &row = Properties[qsizetype(property)];
    switch (row.host) {
    case Host::AmbientFont:
        return {};
    case Host::DisplayName:
        return QString();
    case Host::None:
        break;
    }
    QVariant value = QVariant::fromValue(row.storedDefault);
    value.convert(row.access.storedType);
    return value;
}

void ProgressBarModel::setValue(qint32 value)
{
    if (value > m_max)
        value = m_max;
    if (value < m_min)
        value = m_min;
    store(m_value, value, Stored::Value);
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
    notify(Stored::Max);
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
    notify(Stored::Min);
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

void ProgressBarModel::ReadProperties(const PropertyBag &bag, const QFont &ambientFont, const QString &displayName)
{
    for (qsizetype index : ReadOrder) {
        const StoredProperty &row = Properties[index];
        const QVariant fallback = row.host == Host::AmbientFont ? QVariant::fromValue(ambientFont)
            : row.host == Host::DisplayName                     ? QVariant(displayName)
                                                                : storedDefault(row.property);
        QVariant stored = bag.ReadProperty(row.name.toString(), fallback);
        if (stored.convert(row.access.storedType))
            row.access.set(*this, stored);
    }
}

// The stored defaults of TextStyle, TextEffect, TextEffectColor and Text differ from those of
// a new bar, so a new bar stores those four explicitly.
void ProgressBarModel::WriteProperties(PropertyBag &bag, const QFont &ambientFont) const
{
    for (const StoredProperty &row : Properties) {
        // A font equal to the host's is left out, so the bar follows the host's font when read.
        const QVariant fallback = row.host == Host::AmbientFont ? QVariant::fromValue(ambientFont)
                                                                : storedDefault(row.property);
        bag.WriteProperty(row.name.toString(), row.access.get(*this), fallback);
    }
}

}  // namespace Quillmere
