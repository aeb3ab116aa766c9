#pragma once

#include "settings/Option.h"
#include "settings/SettingKey.h"

#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <cstdint>
#include <optional>
#include <tuple>

// The settings file format of a record declared with PAPERLARK_SETTINGS_RECORD:
// one JSON object, pretty-printed, one member per line with the keys sorted
// by name. Strings are JSON strings, integers JSON numbers, flags true/false
// and option enumerations their raw-value strings.
namespace SettingsCodec {

// One member's JSON value, and reading it back. Reading accepts exactly the
// JSON type written (a number only when it is an integer within 64 bits, an
// option only by an exact raw value) and leaves `value` alone otherwise.
QJsonValue toJson(const QString& value);
QJsonValue toJson(std::int64_t value);
QJsonValue toJson(bool value);
template <Option E> QJsonValue toJson(E value) {
    return rawValue(value);
}

bool fromJson(const QJsonValue& json, QString& value);
bool fromJson(const QJsonValue& json, std::int64_t& value);
bool fromJson(const QJsonValue& json, bool& value);
template <Option E> bool fromJson(const QJsonValue& json, E& value) {
    const std::optional<E> parsed =
        json.isString() ? fromRawValue<E>(json.toString()) : std::nullopt;
    if (parsed) {
        value = *parsed;
    }
    return parsed.has_value();
}

QByteArray toBytes(const QJsonObject& object);
std::optional<QJsonObject> objectFrom(const QByteArray& bytes);

template <typename Record> QByteArray encode(const Record& record) {
    QJsonObject object;
    std::apply(
        [&](const auto&... key) {
            (object.insert(QLatin1String(key.name), toJson(record.*key.member)), ...);
        },
        Record::settingKeys());
    return toBytes(object);
}

// The record a file holds, all or nothing: every required key must be there
// and every key present must have the right type, or there is no record.
// Keys added later take their default when absent; unknown keys are ignored.
template <typename Record> std::optional<Record> decode(const QByteArray& bytes) {
    const std::optional<QJsonObject> object = objectFrom(bytes);
    if (!object) {
        return std::nullopt;
    }
    Record record{};
    const auto read = [&](const auto& key) {
        const auto found = object->constFind(QLatin1String(key.name));
        if (found == object->constEnd()) {
            return key.presence == SettingPresence::addedLater;
        }
        return fromJson(*found, record.*key.member);
    };
    const bool complete =
        std::apply([&](const auto&... key) { return (read(key) && ...); }, Record::settingKeys());
    return complete ? std::optional<Record>(record) : std::nullopt;
}

} // namespace SettingsCodec
