#include "settings/AppSettings.h"
#include "settings/Keychain.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QUuid>

#include <libsecret/secret.h>

#include <memory>

// These cases run against the real Secret Service of the private session bus
// that scripts/test-env.sh starts; they never run against a user's keyring.
class KeychainTest : public QObject {
    Q_OBJECT

private:
    struct SchemaRelease {
        void operator()(SecretSchema* schema) const { secret_schema_unref(schema); }
    };
    using Schema = std::unique_ptr<SecretSchema, SchemaRelease>;

    static Schema schema() {
        return Schema(secret_schema_new("tessel.Paperlark.smtp", SECRET_SCHEMA_NONE, "service",
                                        SECRET_SCHEMA_ATTRIBUTE_STRING, "account",
                                        SECRET_SCHEMA_ATTRIBUTE_STRING, nullptr));
    }

    static QString freshAccount() {
        return QStringLiteral("user-%1@example.org")
            .arg(QUuid::createUuid().toString(QUuid::WithoutBraces));
    }

    // The labels of all items stored for `account`, read straight from the
    // Secret Service.
    static QStringList labelsOf(const QString& account) {
        const Schema s = schema();
        const QByteArray name = account.toUtf8();
        GError* error = nullptr;
        GList* items = secret_password_search_sync(
            s.get(), SecretSearchFlags(SECRET_SEARCH_ALL | SECRET_SEARCH_UNLOCK), nullptr, &error,
            "service", "tessel.Paperlark.smtp", "account", name.constData(), nullptr);
        if (error != nullptr) {
            g_error_free(error);
        }
        QStringList labels;
        for (GList* node = items; node != nullptr; node = node->next) {
            gchar* label = secret_retrievable_get_label(SECRET_RETRIEVABLE(node->data));
            labels << QString::fromUtf8(label);
            g_free(label);
        }
        g_list_free_full(items, g_object_unref);
        return labels;
    }

    static bool storeBytes(const QString& account, const QByteArray& bytes) {
        const Schema s = schema();
        const QByteArray name = account.toUtf8();
        SecretValue* value = secret_value_new(bytes.constData(), bytes.size(), "text/plain");
        GError* error = nullptr;
        const bool stored = secret_password_store_binary_sync(
            s.get(), SECRET_COLLECTION_DEFAULT, "test item", value, nullptr, &error, "service",
            "tessel.Paperlark.smtp", "account", name.constData(), nullptr);
        secret_value_unref(value);
        if (error != nullptr) {
            g_error_free(error);
        }
        return stored;
    }

private Q_SLOTS:
    void initTestCase() {
        if (qEnvironmentVariableIsEmpty("PAPERLARK_TEST_ENV")) {
            QSKIP("needs the private keyring of scripts/test-env.sh");
        }
    }

    void storesReplacesAndDeletes() {
        const QString account = freshAccount();
        QCOMPARE(Keychain::get(account), QString());

        Keychain::set(QStringLiteral("first secret"), account);
        QCOMPARE(Keychain::get(account), QStringLiteral("first secret"));
        QCOMPARE(labelsOf(account),
                 QStringList{QStringLiteral("Paperlark SMTP password for ") + account});

        // A second store replaces the secret instead of adding an item.
        Keychain::set(QStringLiteral("second secret"), account);
        QCOMPARE(Keychain::get(account), QStringLiteral("second secret"));
        QCOMPARE(labelsOf(account).size(), 1);

        // Another account's item is independent.
        const QString other = freshAccount();
        Keychain::set(QStringLiteral("other"), other);
        QCOMPARE(Keychain::get(account), QStringLiteral("second secret"));

        // An empty password deletes the item.
        Keychain::set(QString(), account);
        QCOMPARE(Keychain::get(account), QString());
        QVERIFY(labelsOf(account).isEmpty());
        QCOMPARE(Keychain::get(other), QStringLiteral("other"));

        Keychain::remove(other);
        QCOMPARE(Keychain::get(other), QString());
        QVERIFY(labelsOf(other).isEmpty());
        Keychain::remove(other); // removing nothing is harmless
    }

    void passwordTextSurvivesExactly() {
        const QString account = QStringLiteral("Jürgen Świątek ") + freshAccount();
        const QString password = QStringLiteral("pä\"ss\\wörd \U0001F511 \t\n end");
        Keychain::set(password, account);
        QCOMPARE(Keychain::get(account), password);
        Keychain::remove(account);

        // Bytes that are not UTF-8 read as no password.
        QVERIFY(storeBytes(account, QByteArray("\xff\xfe bad", 6)));
        QCOMPARE(Keychain::get(account), QString());
        Keychain::remove(account);
    }

    void emptyAccountIsNeverUsed() {
        // Even when an item with an empty account exists, get("") does not
        // look it up, and set(..., "") stores nothing.
        QVERIFY(storeBytes(QString(), QByteArray("stray")));
        QCOMPARE(Keychain::get(QString()), QString());
        Keychain::remove(QString());
        QVERIFY(labelsOf(QString()).isEmpty());

        Keychain::set(QStringLiteral("secret"), QString());
        QVERIFY(labelsOf(QString()).isEmpty());
    }

    void settingsPasswordFollowsTheUserName() {
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        AppSettings settings = AppSettings::defaults();

        settings.smtpUser.clear();
        settings.setSmtpPassword(QStringLiteral("ignored"));
        QCOMPARE(settings.smtpPassword(), QString());
        QVERIFY(labelsOf(QString()).isEmpty());

        const QString oldUser = freshAccount();
        settings.smtpUser = oldUser;
        settings.setSmtpPassword(QStringLiteral("s3cret-old"));
        QCOMPARE(settings.smtpPassword(), QStringLiteral("s3cret-old"));

        // A new user name refers to its own (not yet existing) item; the old
        // one stays in the keyring.
        const QString newUser = freshAccount();
        settings.smtpUser = newUser;
        QCOMPARE(settings.smtpPassword(), QString());
        settings.setSmtpPassword(QStringLiteral("s3cret-new"));
        QCOMPARE(Keychain::get(oldUser), QStringLiteral("s3cret-old"));
        QCOMPARE(Keychain::get(newUser), QStringLiteral("s3cret-new"));

        // The password never reaches the settings file.
        const QUrl file = QUrl::fromLocalFile(folder.filePath(QStringLiteral("settings.json")));
        settings.save(file);
        QFile written(file.toLocalFile());
        QVERIFY(written.open(QIODevice::ReadOnly));
        const QByteArray json = written.readAll();
        QVERIFY(json.contains(newUser.toUtf8()));
        QVERIFY(!json.contains("s3cret"));

        settings.setSmtpPassword(QString());
        QCOMPARE(Keychain::get(newUser), QString());
        Keychain::remove(oldUser);
    }
};

QTEST_GUILESS_MAIN(KeychainTest)
#include "tst_Keychain.moc"
