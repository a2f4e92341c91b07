#pragma once

#include <QAnyStringView>
#include <QByteArray>
#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <optional>

// Reads the XML form of a property list into Qt values: dict -> QVariantMap,
// array -> QVariantList, string -> QString, integer -> qlonglong,
// real -> double, true/false -> bool. Ostrel's resources use nothing else, and
// QtCore already parses XML, so this small reader saves a library dependency.
// Malformed input, or an element outside that subset, gives no value and a
// message with its line in *error.
std::optional<QVariant> readPropertyList(const QByteArray &xml, QString *error = nullptr);

// A property list compiled into the program under the resource name given
// (OLResource::...), as a dictionary; empty when it is missing or no dictionary.
QVariantMap readPropertyListResource(QAnyStringView name);
