#pragma once

#include <QDir>
#include <QFile>
#include <QString>

namespace tvq52::test {

// A stand-in for a collect line's worker: it takes units the way the real
// one does and answers each after a while that the unit's serial number sets
// (9001: slow, 9777: until it is stopped, 9666 and 9667: the worker dies
// holding it, 9555: it answers and then ends), logging "DEVICE SERIAL" in
// calls.log beside it for every unit it finished. SIGTERM stops it as it
// stops the real one: the unit it holds is answered "stopped".
inline constexpr char kFakeCollectWorker[] = R"(#!/bin/sh
log=$(dirname "$0")/calls.log
dev=
while [ $# -gt 0 ]; do
    [ "$1" = --device ] && dev=$2
    shift
done
held=
trap '[ -n "$held" ] && printf "{\"index\":%s,\"requested\":\"%s\",\"outcome\":\"stopped\",\"collected\":false}\n" "$index" "$text"; exit 130' TERM
while IFS='	' read -r index line text; do
    held=$text
    printf '{"taken":%s}\n' "$index"
    case $text in
        9001) sleep 1.5 & wait $! ;;
        9777) sleep 60 & wait $! ;;
        9666|9667) echo "worker on $dev gives up" >&2; exit 3 ;;
        9555) echo "$dev $text" >> "$log"
              printf '{"index":%s,"requested":"%s","outcome":"completed","collected":true}\n' "$index" "$text"
              exit 0 ;;
        *) sleep 0.1 & wait $! ;;
    esac
    held=
    echo "$dev $text" >> "$log"
    echo "Unidad $text: on $dev" >&2
    printf '{"index":%s,"requested":"%s","answered":%s,"outcome":"completed","collected":true,"intervals":%s}\n' \
        "$index" "$text" "$text" "$line"
done
)";

// The worker written as worker.sh in `folder`; gives its path.
inline QString writeFakeCollectWorker(const QString& folder)
{
    const QString path = QDir(folder).filePath(QStringLiteral("worker.sh"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(kFakeCollectWorker) < 0)
        return {};
    file.close();
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

} // namespace tvq52::test
