#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>

// Typed reads of one stored value. The user's layer comes back from its ini
// file as text ("true", "100", "0.8"; a one-element list as a plain string, an
// empty list as an invalid value), the registered layer as the typed values of
// a property list; both read alike. A value that cannot be read as the type
// asked for gives no value, never a guess.
namespace OLSettingsValue {

// bool; a number (non-zero is true); the text "true", "yes", "false", "no" in any case, or a number.
std::optional<bool> toBool(const QVariant &value);
// A number as qlonglong or double; text holding one, surrounding white space allowed.
// Infinities and NaN are no numbers.
std::optional<QVariant> toNumber(const QVariant &value);
// A number; a real one is truncated toward zero when it fits.
std::optional<qint64> toInteger(const QVariant &value);
std::optional<double> toReal(const QVariant &value);
// Text only: a list where a string belongs is unreadable.
std::optional<QString> toString(const QVariant &value);
// A list of strings; a plain string is a one-element list and an invalid
// value an empty one, as the ini file stores them.
std::optional<QStringList> toStringList(const QVariant &value);

} // namespace OLSettingsValue
