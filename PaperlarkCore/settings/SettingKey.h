#pragma once

#include <tuple>

// Settings records (AppSettings) are declared as one list, one line per
// stored setting, in field order. The list is a macro taking X, each line
// continued with a backslash:
//
//     #define TINT_SETTINGS(X)
//         X(QString, name, QStringLiteral("Ann"), required)
//         X(std::int64_t, count, 3, required)
//         X(bool, glow, true, addedLater)
//
//     struct TintSettings {
//         PAPERLARK_SETTINGS_RECORD(TintSettings, TINT_SETTINGS)
//     };
//
// Each line X(type, name, default, presence) declares the member `name` of
// `type`, holding `default` until set, and stores it in the settings file
// under the key "name" (see SettingsCodec). `type` is QString, std::int64_t,
// bool or an option enumeration (Option.h). The record stays a plain value:
// an aggregate whose memberwise initialiser takes the members in list order,
// and whose value-initialisation `Record{}` holds every default.

// Whether a settings file must hold a key.
enum class SettingPresence {
    // Written by every version: a file without it is refused whole.
    required,
    // Added after files were already written: a file without it loads the
    // default and keeps all its other values.
    addedLater,
};

// One stored member of a settings record.
template <typename Record, typename Value> struct SettingKey {
    const char* name;
    Value Record::*member;
    SettingPresence presence;
};

#define PAPERLARK_SETTING_MEMBER(type, name, initial, presence) type name = initial;
#define PAPERLARK_SETTING_KEY(type, name, initial, presence)                                       \
    SettingKey{#name, &Self::name, SettingPresence::presence},

// The members of LIST, and settingKeys(): the record's SettingKey of each
// member, in list order, as a tuple.
#define PAPERLARK_SETTINGS_RECORD(Record, LIST)                                                    \
    LIST(PAPERLARK_SETTING_MEMBER)                                                                 \
    static constexpr auto settingKeys() {                                                          \
        using Self = Record;                                                                       \
        return std::tuple{LIST(PAPERLARK_SETTING_KEY)};                                            \
    }
