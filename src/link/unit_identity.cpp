#include "link/unit_identity.h"

namespace tvq52 {

std::variant<UnitIdentity, IdentityFault> decodeIdentity(const std::uint8_t* frame, int length)
{
    if (length < kIdentityReplyMinLength)
        return IdentityFault{IdentityFault::TooShort, {}};

    QString serialText;
    for (int k = 7; k <= 12; ++k)
        serialText.append(QChar(char16_t(frame[k])));
    // Blanks around the six characters do not change the number they spell.
    const QString digits = serialText.trimmed();
    bool allDigits = !digits.isEmpty();
    for (QChar c : digits)
        allDigits = allDigits && c >= QLatin1Char('0') && c <= QLatin1Char('9');
    if (!allDigits)
        return IdentityFault{IdentityFault::BadSerial, serialText};

    UnitIdentity id;
    id.type = frame[4];
    id.firmware = QStringLiteral("%1.%2").arg(frame[5]).arg(frame[6]);
    id.serial = digits.toInt();
    id.progMode = frame[13];
    return id;
}

bool isTvq52Type(std::uint8_t type)
{
    return type == 42 || type == 4;
}

double firmwareNumber(const QString& firmware)
{
    bool ok = false;
    const double v = firmware.trimmed().toDouble(&ok);
    return ok ? v : 0.0;
}

} // namespace tvq52
