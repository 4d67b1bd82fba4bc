#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <map>
#include <memory>

namespace tvq52 {

// The windows whose texts the export walks, each by its form name. A window
// joins by registering a factory that builds a fresh, untranslated instance.
class FormRegistry {
public:
    using Factory = std::function<std::unique_ptr<QWidget>()>;

    // A later registration of the same name replaces the earlier one.
    void add(const QString& formName, Factory factory);
    bool contains(const QString& formName) const;
    // Nothing when the form is not registered.
    std::unique_ptr<QWidget> create(const QString& formName) const;
    QStringList names() const;

private:
    std::map<QString, Factory> factories_;
};

// The program's own windows.
FormRegistry& formRegistry();

// The windows whose texts are exported, in export order.
const QStringList& exportFormOrder();

} // namespace tvq52
