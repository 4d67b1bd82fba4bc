#include "reports/report_proof.h"

#include "core/own_words.h"
#include "reports/report.h"

namespace tvq52 {

namespace {

constexpr const char* kKindNames[] = {"programming", "intervals", "sessions", "exceedances", "graph", "fleet"};

} // namespace

QString reportKindName(ReportKind kind)
{
    return QLatin1String(kKindNames[int(kind)]);
}

std::optional<ReportKind> reportKindFromName(const QString& name)
{
    for (int k = 0; k < int(std::size(kKindNames)); ++k)
        if (name == QLatin1String(kKindNames[k]))
            return ReportKind(k);
    return std::nullopt;
}

void RenderedReport::setProof(ReportProof proof, DigestReader digestNow)
{
    proof_ = std::move(proof);
    digestNow_ = std::move(digestNow);
}

Status RenderedReport::checkProof() const
{
    if (!proof_ || !digestNow_)
        return {};
    const Result<QByteArray> now = digestNow_();
    if (!now)
        return now.error();
    if (*now != proof_->digest)
        return ownWords(QStringLiteral("Los registros del informe han cambiado desde que se preparó; vuelva a "
                                       "abrirlo para imprimir lo que hay ahora guardado."));
    return {};
}

} // namespace tvq52
