#include "support/time_stamp_authority.h"

#include <QFile>
#include <QHostAddress>
#include <QProcess>
#include <QTcpSocket>
#include <gtest/gtest.h>

namespace tvq52::test {

namespace {

// The authority's settings, the CA's and the time-stamping certificate's
// extensions in one file, so that the machine's openssl.cnf plays no part.
const char* const kConfig = R"([ req ]
distinguished_name = subject
[ subject ]
[ ca_cert ]
basicConstraints = critical, CA:TRUE
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
[ tsa_cert ]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = critical, timeStamping
[ tsa ]
default_tsa = tsa_config
[ tsa_config ]
serial = DIR/serial
signer_cert = DIR/tsa.pem
certs = DIR/ca.pem
signer_key = DIR/tsa.key
signer_digest = sha256
default_policy = 1.2.3.4.1
digests = sha256, sha384, sha512
accuracy = secs:1
ess_cert_id_alg = sha256
)";

// TimeStampResp { status PKIStatusInfo { rejection(2) } }
const QByteArray kRejection = QByteArray::fromHex("30053003020102");

} // namespace

bool TimeStampAuthority::run(const QString& arguments)
{
    QProcess openssl;
    openssl.setWorkingDirectory(dir_.path());
    openssl.start(QStringLiteral("openssl"), arguments.split(u' '));
    const bool done =
        openssl.waitForFinished(30000) && openssl.exitStatus() == QProcess::NormalExit && openssl.exitCode() == 0;
    EXPECT_TRUE(done) << "openssl " << arguments.toStdString() << ": " << openssl.readAllStandardError().toStdString();
    return done;
}

bool TimeStampAuthority::start()
{
    QFile config(dir_.filePath(QStringLiteral("tsa.cnf")));
    QFile serial(dir_.filePath(QStringLiteral("serial")));
    if (!config.open(QIODevice::WriteOnly) || !serial.open(QIODevice::WriteOnly))
        return false;
    config.write(QByteArray(kConfig).replace("DIR", QFile::encodeName(dir_.path())));
    serial.write("01\n");
    config.close();
    serial.close();
    const QString newKey = QStringLiteral(" -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -config tsa.cnf");
    const bool made = run(QStringLiteral("req -x509 -keyout ca.key -out ca.pem -days 30 -subj /O=Authority/CN=TestRoot "
                                         "-extensions ca_cert")
                          + newKey)
        && run(QStringLiteral("req -new -keyout tsa.key -out tsa.csr -subj /O=Authority/CN=TestTSA") + newKey)
        && run(QStringLiteral("x509 -req -in tsa.csr -CA ca.pem -CAkey ca.key -set_serial 2 -days 30 "
                              "-extfile tsa.cnf -extensions tsa_cert -out tsa.pem"));
    if (!made || !server_.listen(QHostAddress::LocalHost, 0))
        return false;
    connect(&server_, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = server_.nextPendingConnection())
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { answer(socket); });
    });
    return true;
}

QString TimeStampAuthority::url() const
{
    return QStringLiteral("http://127.0.0.1:%1/tsa").arg(server_.serverPort());
}

QByteArray TimeStampAuthority::caCertificatePem() const
{
    QFile ca(caCertificateFile());
    return ca.open(QIODevice::ReadOnly) ? ca.readAll() : QByteArray();
}

void TimeStampAuthority::answer(QTcpSocket* socket)
{
    // The whole request is read before anything is answered: headers, then
    // as many bytes as Content-Length says.
    QByteArray request = socket->property("request").toByteArray() + socket->readAll();
    socket->setProperty("request", request);
    const qsizetype headerEnd = request.indexOf("\r\n\r\n");
    if (headerEnd < 0)
        return;
    qsizetype length = 0;
    for (const QByteArray& line : request.left(headerEnd).split('\n'))
        if (line.toLower().startsWith("content-length:"))
            length = line.mid(15).trimmed().toLongLong();
    const QByteArray body = request.mid(headerEnd + 4);
    if (body.size() < length)
        return;
    const QByteArray token = refusing_ ? kRejection : reply(body.left(length));
    socket->write(
        "HTTP/1.1 200 OK\r\nContent-Type: application/timestamp-reply\r\nConnection: close\r\n"
        "Content-Length: "
        + QByteArray::number(token.size()) + "\r\n\r\n" + token);
    socket->disconnectFromHost();
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
}

QByteArray TimeStampAuthority::reply(const QByteArray& query)
{
    const QString name = QStringLiteral("query%1").arg(++queries_);
    QFile file(dir_.filePath(name + QStringLiteral(".tsq")));
    if (!file.open(QIODevice::WriteOnly) || file.write(query) != query.size())
        return {};
    file.close();
    if (!run(QStringLiteral("ts -reply -config tsa.cnf -queryfile %1.tsq -out %1.tsr").arg(name)))
        return {};
    QFile answer(dir_.filePath(name + QStringLiteral(".tsr")));
    return answer.open(QIODevice::ReadOnly) ? answer.readAll() : QByteArray();
}

} // namespace tvq52::test
