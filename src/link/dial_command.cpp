#include "link/dial_command.h"

namespace tvq52 {

QByteArray dialCommand(std::uint8_t tonePulse, const QString& dialCode, const QString& phoneNumber)
{
    QByteArray command("ATE0V0X0");
    command += tonePulse == 1 ? "DT" : "DP";
    command += dialCode.trimmed().toLatin1();
    command += ',';
    command += phoneNumber.toLatin1();
    command += '\r';
    return command;
}

bool isDialString(const QString& text)
{
    static const QString allowed = QStringLiteral("0123456789*#+,WwPpTt!@ -().");
    for (QChar c : text)
        if (!allowed.contains(c))
            return false;
    return true;
}

bool isConnectAnswer(const QByteArray& answer)
{
    return !answer.isEmpty() && answer.at(0) == '1';
}

} // namespace tvq52
