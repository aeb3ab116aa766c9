#include "settings/AppSettings.h"
#include "settings/Keychain.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QUuid>

#include <libsecret/secret.h>

using namespace Qt::StringLiterals;

// Runs against the real Secret Service of the private session bus that
// scripts/test-env.sh starts, never against a user's keyring.
class KeychainTest : public QObject {
    Q_OBJECT

private:
    static QString freshAccount() {
        return u"user-%1@example.org"_s.arg(QUuid::createUuid().toString(QUuid::WithoutBraces));
    }

    // The labels of all items stored for `account`, read straight from the
    // Secret Service.
    static QStringList labelsOf(const QString& account) {
        SecretSchema* schema = secret_schema_new(
            "tessel.Paperlark.smtp", SECRET_SCHEMA_NONE, "service", SECRET_SCHEMA_ATTRIBUTE_STRING,
            "account", SECRET_SCHEMA_ATTRIBUTE_STRING, nullptr);
        GList* items = secret_password_search_sync(
            schema, SecretSearchFlags(SECRET_SEARCH_ALL | SECRET_SEARCH_UNLOCK), nullptr, nullptr,
            "service", "tessel.Paperlark.smtp", "account", account.toUtf8().constData(), nullptr);
        QStringList labels;
        for (GList* node = items; node != nullptr; node = node->next) {
            gchar* label = secret_retrievable_get_label(SECRET_RETRIEVABLE(node->data));
            labels << QString::fromUtf8(label);
            g_free(label);
        }
        g_list_free_full(items, g_object_unref);
        secret_schema_unref(schema);
        return labels;
    }

private Q_SLOTS:
    void initTestCase() {
        if (qEnvironmentVariableIsEmpty("PAPERLARK_TEST_ENV")) {
            QSKIP("needs the private keyring of scripts/test-env.sh");
        }
    }

    void storesReplacesAndDeletes() {
        const QString account = u"Jürgen "_s + freshAccount();
        const QString other = freshAccount();
        QCOMPARE(Keychain::get(account), QString());

        // Non-ASCII text, quotes and line breaks come back unchanged.
        const QString password = u"pä\"ss\\wörd \U0001F511\t\n end"_s;
        Keychain::set(password, account);
        QCOMPARE(Keychain::get(account), password);
        QCOMPARE(labelsOf(account), QStringList{u"Paperlark SMTP password for "_s + account});

        // A second store replaces the secret; another account is separate.
        Keychain::set(u"second"_s, account);
        Keychain::set(u"other"_s, other);
        QCOMPARE(Keychain::get(account), u"second"_s);
        QCOMPARE(labelsOf(account).size(), 1);

        // An empty password deletes the item; remove deletes it too.
        Keychain::set(QString(), account);
        QCOMPARE(Keychain::get(account), QString());
        QVERIFY(labelsOf(account).isEmpty());
        QCOMPARE(Keychain::get(other), u"other"_s);
        Keychain::remove(other);
        QVERIFY(labelsOf(other).isEmpty());

        // An empty account stores nothing.
        Keychain::set(u"secret"_s, QString());
        QVERIFY(labelsOf(QString()).isEmpty());
        QCOMPARE(Keychain::get(QString()), QString());
    }

    void settingsPasswordFollowsTheUserName() {
        AppSettings settings = AppSettings::defaults();
        settings.smtpUser.clear();
        settings.setSmtpPassword(u"ignored"_s);
        QCOMPARE(settings.smtpPassword(), QString());

        const QString oldUser = freshAccount();
        settings.smtpUser = oldUser;
        settings.setSmtpPassword(u"s3cret-old"_s);
        QCOMPARE(settings.smtpPassword(), u"s3cret-old"_s);

        // A new user name refers to its own item; the old one stays.
        settings.smtpUser = freshAccount();
        QCOMPARE(settings.smtpPassword(), QString());
        settings.setSmtpPassword(u"s3cret-new"_s);
        QCOMPARE(Keychain::get(oldUser), u"s3cret-old"_s);
        QCOMPARE(Keychain::get(settings.smtpUser), u"s3cret-new"_s);

        // The password never reaches the settings file.
        QTemporaryDir folder;
        const QUrl file = QUrl::fromLocalFile(folder.filePath(u"settings.json"_s));
        settings.save(file);
        QFile written(file.toLocalFile());
        QVERIFY(written.open(QIODevice::ReadOnly));
        const QByteArray json = written.readAll();
        QVERIFY(json.contains(settings.smtpUser.toUtf8()) && !json.contains("s3cret"));

        settings.setSmtpPassword(QString());
        Keychain::remove(oldUser);
    }
};

QTEST_GUILESS_MAIN(KeychainTest)
#include "tst_Keychain.moc"
