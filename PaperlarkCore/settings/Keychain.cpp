#include "settings/Keychain.h"

#include <QByteArray>
#include <QStringDecoder>

#include <libsecret/secret.h>

#include <memory>

namespace {

struct SchemaRelease {
    void operator()(SecretSchema* schema) const { secret_schema_unref(schema); }
};
struct ValueRelease {
    void operator()(SecretValue* value) const { secret_value_unref(value); }
};

using SchemaHandle = std::unique_ptr<SecretSchema, SchemaRelease>;
using ValueHandle = std::unique_ptr<SecretValue, ValueRelease>;

// Items are told apart by the service name and the account (the SMTP user).
SchemaHandle makeSchema() {
    return SchemaHandle(secret_schema_new("tessel.Paperlark.smtp", SECRET_SCHEMA_NONE, "service",
                                          SECRET_SCHEMA_ATTRIBUTE_STRING, "account",
                                          SECRET_SCHEMA_ATTRIBUTE_STRING, nullptr));
}

// libsecret reports failures through a GError out-parameter; this owns
// whatever it leaves there, so every error is freed even though none is
// reported to the caller.
class ErrorSlot {
public:
    ErrorSlot() = default;
    ErrorSlot(const ErrorSlot&) = delete;
    ErrorSlot& operator=(const ErrorSlot&) = delete;
    ~ErrorSlot() {
        if (raw_ != nullptr) {
            g_error_free(raw_);
        }
    }

    GError** out() { return &raw_; }

private:
    GError* raw_ = nullptr;
};

} // namespace

QString Keychain::get(const QString& account) {
    if (account.isEmpty()) {
        return {};
    }
    const SchemaHandle schema = makeSchema();
    const QByteArray serviceName = service.toUtf8();
    const QByteArray accountName = account.toUtf8();
    ErrorSlot error;
    const ValueHandle value(secret_password_lookup_binary_sync(
        schema.get(), nullptr, error.out(), "service", serviceName.constData(), "account",
        accountName.constData(), nullptr));
    if (!value) {
        return {};
    }
    gsize length = 0;
    const gchar* bytes = secret_value_get(value.get(), &length);
    if (bytes == nullptr) {
        return {};
    }
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString password = decoder.decode(QByteArrayView(bytes, static_cast<qsizetype>(length)));
    if (decoder.hasError()) {
        return {};
    }
    return password;
}

void Keychain::set(const QString& password, const QString& account) {
    if (account.isEmpty()) {
        return;
    }
    if (password.isEmpty()) {
        remove(account);
        return;
    }
    const SchemaHandle schema = makeSchema();
    const QByteArray serviceName = service.toUtf8();
    const QByteArray accountName = account.toUtf8();
    const QByteArray label = QStringLiteral("Paperlark SMTP password for %1").arg(account).toUtf8();
    const QByteArray secret = password.toUtf8();
    // Storing under attributes that already have an item replaces that
    // item's secret, so there is never more than one item per account.
    ErrorSlot error;
    secret_password_store_sync(schema.get(), SECRET_COLLECTION_DEFAULT, label.constData(),
                               secret.constData(), nullptr, error.out(), "service",
                               serviceName.constData(), "account", accountName.constData(),
                               nullptr);
}

void Keychain::remove(const QString& account) {
    const SchemaHandle schema = makeSchema();
    const QByteArray serviceName = service.toUtf8();
    const QByteArray accountName = account.toUtf8();
    ErrorSlot error;
    secret_password_clear_sync(schema.get(), nullptr, error.out(), "service",
                               serviceName.constData(), "account", accountName.constData(),
                               nullptr);
}
