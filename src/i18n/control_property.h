#pragma once

#include <QString>

class QObject;

namespace tvq52 {

// The translatable properties of a control, by the names translators know
// ("Caption", "ToolTipText", "Text", "Font", "Font.Name"), mapped onto Qt
// properties through the meta-object so that no widget header is needed.
enum class ControlProperty { Caption, Text, ToolTipText, Font, FontName, Unknown };

ControlProperty controlPropertyByName(const QString& name);

// "" when the object lacks the property.
QString readControlText(const QObject* object, ControlProperty property);
void writeControlText(QObject* object, ControlProperty property, const QString& text);

// The dynamic property "Tag", "" when unset.
QString controlTag(const QObject* object);

} // namespace tvq52
