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

namespace {

const QString& nonRegularText(FileUse use)
{
    static const QString read = QStringLiteral(
        "No se puede leer %1: no es un archivo normal (es una carpeta, un dispositivo o una tubería).");
    static const QString write = QStringLiteral("No se puede escribir en %1: no es un archivo normal (es una carpeta, "
                                                "un dispositivo o una tubería); se ha dejado como estaba.");
    return use == FileUse::Read ? read : write;
}

} // namespace

Error nonRegularFileError(const QString& path, FileUse use)
{
    return ownWords(nonRegularText(use), {QDir::toNativeSeparators(path)});
}

bool isNonRegularFileError(const Error& error)
{
    return error.text == nonRegularText(FileUse::Read) || error.text == nonRegularText(FileUse::Write);
}

QString writeFailureText(const QFileDevice& file, int error)
{
    return error != 0 ? QString::fromLocal8Bit(std::strerror(error)) : file.errorString();
}

} // namespace tvq52
