#pragma once

#include "evidence/openssl_handles.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace tvq52::test {

// A key and certificate made here, with the validity and issuer a case
// needs (the program makes only its own, valid from now).
struct TestIdentity {
    ssl::Key key;
    ssl::Cert cert;

    QByteArray certificatePem() const;
    QByteArray keyPem() const;
    // A detached signature over `content` whose signing time is `at`, the
    // issuer's certificate carried when there is one.
    QByteArray signAt(QByteArrayView content, const QDateTime& at, const TestIdentity* issuer = nullptr) const;
};

TestIdentity makeIdentity(const QString& organization, const QDateTime& from, const QDateTime& to,
                          const TestIdentity* issuer = nullptr, bool authority = false);

// Writes `bytes` to `path`; the test fails when it cannot.
void writeTestFile(const QString& path, const QByteArray& bytes);

} // namespace tvq52::test
