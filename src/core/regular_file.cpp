#include "core/regular_file.h"

#include "core/own_words.h"

#include <QDir>
#include <QFile>
#include <cstring>
#include <sys/stat.h>

namespace tvq52 {

bool isNonRegularFile(const QString& path)
{
    struct stat st {};
    return !path.isEmpty() && ::stat(QFile::encodeName(path).constData(), &st) == 0 && !S_ISREG(st.st_mode);
}

Error nonRegularFileError(const QString& path, FileUse use)
{
    return ownWords(use == FileUse::Read
                        ? QStringLiteral("No se puede leer %1: no es un archivo normal (es una carpeta, un "
                                         "dispositivo o una tubería).")
                        : QStringLiteral("No se puede escribir en %1: no es un archivo normal (es una carpeta, un "
                                         "dispositivo o una tubería); se ha dejado como estaba."),
                    {QDir::toNativeSeparators(path)});
}

QString writeFailureText(const QFileDevice& file, int error)
{
    return error != 0 ? QString::fromLocal8Bit(std::strerror(error)) : file.errorString();
}

} // namespace tvq52
