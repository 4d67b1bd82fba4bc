#pragma once

// RFC 3161 tokens inside a CMS signer's unsigned attributes. Only
// src/evidence includes this.

#include "evidence/signing.h"

#include <openssl/cms.h>

#include <optional>

namespace tvq52::ssl {

// Asks the authority at `url` for a token over the signer's signature value
// and adds it; why none was added, or empty.
QString addTimeStampToken(CMS_SignerInfo* signer, const QString& url);

// The time the signer's token proves, when it carries one that verifies;
// nothing otherwise.
std::optional<SigningTime> provenTime(CMS_SignerInfo* signer, const TrustStore& trust);

} // namespace tvq52::ssl
