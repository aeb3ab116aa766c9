#include "settings/SettingsCodec.h"

#include <QJsonDocument>
#include <QJsonParseError>

namespace SettingsCodec {

QJsonValue toJson(const QString& value) {
    return value;
}

QJsonValue toJson(std::int64_t value) {
    return static_cast<qint64>(value);
}

QJsonValue toJson(bool value) {
    return value;
}

bool fromJson(const QJsonValue& json, QString& value) {
    if (!json.isString()) {
        return false;
    }
    value = json.toString();
    return true;
}

bool fromJson(const QJsonValue& json, std::int64_t& value) {
    if (!json.isDouble()) {
        return false;
    }
    // toInteger() only yields the number when it is integral and fits in 64
    // bits; otherwise it returns the given default, so two different defaults
    // tell 1.5 or 1e300 apart from a real integer.
    const qint64 asInteger = json.toInteger(0);
    if (asInteger != json.toInteger(1)) {
        return false;
    }
    value = asInteger;
    return true;
}

bool fromJson(const QJsonValue& json, bool& value) {
    if (!json.isBool()) {
        return false;
    }
    value = json.toBool();
    return true;
}

QByteArray toBytes(const QJsonObject& object) {
    // QJsonObject keeps its keys sorted, so the document lists them by name.
    return QJsonDocument(object).toJson(QJsonDocument::Indented);
}

std::optional<QJsonObject> objectFrom(const QByteArray& bytes) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        return std::nullopt;
    }
    return document.object();
}

} // namespace SettingsCodec
