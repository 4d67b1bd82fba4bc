#pragma once

#include "core/error.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <vector>

namespace tvq52 {

// A message as what it is made of, not as one language's text: a native
// text whose %1.. are filled from its parts, each either a text no
// translation touches (a path, a count, the system's own words) or again a
// native text with parts. The journal keeps it so that every reader sees
// the message in their own language.
struct MessageWords {
    QString words;
    bool native = false;
    std::vector<MessageWords> parts;

    static MessageWords of(QString native, std::vector<MessageWords> parts = {});
    static MessageWords of(QString native, const QStringList& plainParts);
    static MessageWords plain(QString text);
    // An error's own words with its detail after them; the detail and a
    // text that is final as it stands are kept as they are.
    static MessageWords of(const Error& error);

    bool isEmpty() const { return words.isEmpty() && parts.empty(); }
    // The text, each native text put through `translate` (kept as written without one).
    QString shown(const std::function<QString(const QString&)>& translate = {}) const;
    // As the journal keeps it, one string a text; `decoded` reads it back,
    // and also takes a native text followed by plain parts.
    QStringList encoded() const;
    static std::optional<MessageWords> decoded(const QStringList& list);
};

} // namespace tvq52
