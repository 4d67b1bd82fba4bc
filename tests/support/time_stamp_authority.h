#pragma once

#include <QByteArray>
#include <QString>
#include <QTcpServer>
#include <QTemporaryDir>

namespace tvq52::test {

// An RFC 3161 authority on 127.0.0.1 for the tests: its own CA and a
// time-stamping certificate (extended key usage timeStamping, critical),
// made and used with the `openssl` command. It answers in this thread, so a
// client that waits in a local event loop gets its reply.
class TimeStampAuthority : public QObject {
public:
    // Makes the certificates and listens; false (with a test failure) when
    // the openssl command or the port fails.
    bool start();
    QString url() const;
    // The CA that issued the authority's certificate, to trust it.
    QByteArray caCertificatePem() const;
    QString caCertificateFile() const { return dir_.filePath(QStringLiteral("ca.pem")); }
    // Refusing, each query gets a rejection instead of a token.
    void setRefusing(bool refusing) { refusing_ = refusing; }
    // Closes the port: a query finds nobody there.
    void stop() { server_.close(); }

private:
    void answer(QTcpSocket* socket);
    bool run(const QString& arguments);
    QByteArray reply(const QByteArray& query);

    QTemporaryDir dir_;
    QTcpServer server_;
    bool refusing_ = false;
    int queries_ = 0;
};

} // namespace tvq52::test
