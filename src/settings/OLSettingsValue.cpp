#include "settings/OLSettingsValue.h"

#include <cmath>

namespace OLSettingsValue {

namespace {
std::optional<QVariant> realNumber(double value)
{
    if (!std::isfinite(value))
        return std::nullopt;
    return QVariant(value);
}
} // namespace

std::optional<QVariant> toNumber(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::Bool:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::LongLong:
        return QVariant(value.toLongLong());
    case QMetaType::ULong:
    case QMetaType::ULongLong: {
        bool ok = false;
        const qlonglong number = value.toLongLong(&ok);
        if (!ok || number < 0)
            return std::nullopt;
        return QVariant(number);
    }
    case QMetaType::Float:
    case QMetaType::Double:
        return realNumber(value.toDouble());
    case QMetaType::QString: {
        const QString text = value.toString().trimmed();
        bool ok = false;
        const qlonglong integer = text.toLongLong(&ok, 10);
        if (ok)
            return QVariant(integer);
        const double real = text.toDouble(&ok);
        if (ok)
            return realNumber(real);
        return std::nullopt;
    }
    default:
        return std::nullopt;
    }
}

std::optional<qint64> toInteger(const QVariant &value)
{
    const std::optional<QVariant> number = toNumber(value);
    if (!number)
        return std::nullopt;
    if (number->typeId() == QMetaType::LongLong)
        return number->toLongLong();
    // 2^63 is exact as a double; anything from there on does not fit.
    const double real = std::trunc(number->toDouble());
    if (real < -9223372036854775808.0 || real >= 9223372036854775808.0)
        return std::nullopt;
    return qint64(real);
}

std::optional<double> toReal(const QVariant &value)
{
    const std::optional<QVariant> number = toNumber(value);
    if (!number)
        return std::nullopt;
    return number->toDouble();
}

std::optional<bool> toBool(const QVariant &value)
{
    if (value.typeId() == QMetaType::Bool)
        return value.toBool();
    if (value.typeId() == QMetaType::QString) {
        const QString text = value.toString().trimmed();
        if (text.compare(u"true", Qt::CaseInsensitive) == 0 || text.compare(u"yes", Qt::CaseInsensitive) == 0)
            return true;
        if (text.compare(u"false", Qt::CaseInsensitive) == 0 || text.compare(u"no", Qt::CaseInsensitive) == 0)
            return false;
    }
    const std::optional<QVariant> number = toNumber(value);
    if (!number)
        return std::nullopt;
    return number->toDouble() != 0;
}

std::optional<QString> toString(const QVariant &value)
{
    if (value.typeId() != QMetaType::QString)
        return std::nullopt;
    return value.toString();
}

std::optional<QStringList> toStringList(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::UnknownType:
        return QStringList();
    case QMetaType::QString:
        return QStringList{value.toString()};
    case QMetaType::QStringList:
        return value.toStringList();
    case QMetaType::QVariantList: {
        QStringList list;
        for (const QVariant &item : value.toList()) {
            if (item.typeId() != QMetaType::QString)
                return std::nullopt;
            list.append(item.toString());
        }
        return list;
    }
    default:
        return std::nullopt;
    }
}

} // namespace OLSettingsValue
