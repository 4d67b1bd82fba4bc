#include "i18n/gui/form_registry.h"

namespace tvq52 {

void FormRegistry::add(const QString& formName, Factory factory)
{
    factories_[formName] = std::move(factory);
}

bool FormRegistry::contains(const QString& formName) const
{
    return factories_.count(formName) > 0;
}

std::unique_ptr<QWidget> FormRegistry::create(const QString& formName) const
{
    const auto it = factories_.find(formName);
    if (it == factories_.end() || !it->second)
        return nullptr;
    return it->second();
}

QStringList FormRegistry::names() const
{
    QStringList list;
    for (const auto& [name, factory] : factories_)
        list.append(name);
    return list;
}

FormRegistry& formRegistry()
{
    static FormRegistry registry;
    return registry;
}

const QStringList& exportFormOrder()
{
    static const QStringList order = {
        QStringLiteral("Form1"),
        QStringLiteral("Form2"),
        QStringLiteral("Form3"),
        QStringLiteral("Form4"),
        QStringLiteral("Form5"),
        QStringLiteral("Form6"),
        QStringLiteral("Form7"),
        QStringLiteral("Form8"),
        QStringLiteral("Form9"),
        QStringLiteral("Form10"),
        QStringLiteral("ReportPreviewWindow"),
        QStringLiteral("FormDiario"),
        QStringLiteral("FormHistorial"),
    };
    return order;
}

} // namespace tvq52
