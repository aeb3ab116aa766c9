#pragma once

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

// The e-mail tests' real SMTP server (aiosmtpd, tests/email/smtp_server.py,
// run with Debian's Python) on a free loopback port. Each accepted message is
// stored in a numbered folder: message.eml, attachment-N and record.json.
class LoopbackSmtpServer {
public:
    // `options` are passed on to the server script (e.g. STARTTLS certificate,
    // AUTH user and password).
    explicit LoopbackSmtpServer(const QStringList& options = {}) {
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(
            QStringLiteral("/usr/bin/python3"),
            QStringList{QStringLiteral(PAPERLARK_SOURCE_DIR "/tests/email/smtp_server.py"),
                        QStringLiteral("--folder"), folder_.path()} +
                options);
        QByteArray line;
        while (!line.endsWith('\n') && process_.waitForReadyRead(30000)) {
            line += process_.readLine();
        }
        port = line.startsWith("READY ") ? line.mid(6).trimmed().toInt() : 0;
    }
    LoopbackSmtpServer(const LoopbackSmtpServer&) = delete;
    LoopbackSmtpServer& operator=(const LoopbackSmtpServer&) = delete;
    ~LoopbackSmtpServer() {
        process_.closeWriteChannel();
        if (!process_.waitForFinished(10000)) {
            process_.kill();
            process_.waitForFinished();
        }
    }

    qsizetype messageCount() const {
        return QDir(folder_.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size();
    }
    QByteArray read(int message, const QString& name) const {
        QFile file(folder_.filePath(QStringLiteral("%1/%2").arg(message).arg(name)));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }
    QJsonObject record(int message) const {
        return QJsonDocument::fromJson(read(message, QStringLiteral("record.json"))).object();
    }

    int port = 0;

private:
    QTemporaryDir folder_;
    QProcess process_;
};

// A loopback port that is bound (nobody else gets it) but not listening, so
// connections to it are refused.
class ClosedPort {
public:
    ClosedPort() {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(socket_, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
            ::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
            port = ntohs(address.sin_port);
        }
    }
    ClosedPort(const ClosedPort&) = delete;
    ClosedPort& operator=(const ClosedPort&) = delete;
    ~ClosedPort() { ::close(socket_); }

    int port = 0;

private:
    int socket_ = ::socket(AF_INET, SOCK_STREAM, 0);
};
