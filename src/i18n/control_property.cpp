#include "i18n/control_property.h"

#include <QMetaProperty>
#include <QObject>
#include <QVariant>
#include <array>

namespace tvq52 {

namespace {

// Edit controls keep the user's text in "text"; their caption is not it.
bool isTextEntry(const QObject* object)
{
    return object->inherits("QLineEdit") || object->inherits("QTextEdit") || object->inherits("QPlainTextEdit")
        || object->inherits("QAbstractSpinBox") || object->inherits("QComboBox");
}

const char* textEntryProperty(const QObject* object)
{
    if (object->inherits("QLineEdit"))
        return "text";
    if (object->inherits("QTextEdit") || object->inherits("QPlainTextEdit"))
        return "plainText";
    if (object->inherits("QComboBox"))
        return "currentText";
    return nullptr;
}

QMetaProperty writableProperty(const QObject* object, const char* name)
{
    const QMetaObject* meta = object->metaObject();
    const int index = meta->indexOfProperty(name);
    if (index < 0)
        return {};
    QMetaProperty p = meta->property(index);
    return p.isWritable() ? p : QMetaProperty();
}

// A button or label shows "text", a group box or menu "title", a window its
// title bar.
QMetaProperty captionProperty(const QObject* object)
{
    if (!isTextEntry(object))
        if (QMetaProperty p = writableProperty(object, "text"); p.isValid())
            return p;
    if (QMetaProperty p = writableProperty(object, "title"); p.isValid())
        return p;
    return writableProperty(object, "windowTitle");
}

QMetaProperty qtProperty(const QObject* object, ControlProperty property)
{
    switch (property) {
    case ControlProperty::Caption:
        return captionProperty(object);
    case ControlProperty::Text:
        if (const char* name = textEntryProperty(object))
            return writableProperty(object, name);
        return {};
    case ControlProperty::ToolTipText:
        return writableProperty(object, "toolTip");
    case ControlProperty::Font:
    case ControlProperty::FontName:
        return writableProperty(object, "font");
    case ControlProperty::Unknown:
        break;
    }
    return {};
}

// A font travels as its description text ("family,size,..."), which keeps
// the graphics module out of this library.
QString fontFamily(const QString& description)
{
    return description.section(QLatin1Char(','), 0, 0);
}

bool isFont(ControlProperty property)
{
    return property == ControlProperty::Font || property == ControlProperty::FontName;
}

} // namespace

ControlProperty controlPropertyByName(const QString& name)
{
    static const std::array<std::pair<const char*, ControlProperty>, 5> names = {{
        {"CAPTION", ControlProperty::Caption},
        {"TEXT", ControlProperty::Text},
        {"TOOLTIPTEXT", ControlProperty::ToolTipText},
        {"FONT", ControlProperty::Font},
        {"FONT.NAME", ControlProperty::FontName},
    }};
    const QString upper = name.trimmed().toUpper();
    for (const auto& [text, property] : names)
        if (upper == QLatin1String(text))
            return property;
    return ControlProperty::Unknown;
}

QString readControlText(const QObject* object, ControlProperty property)
{
    const QMetaProperty p = qtProperty(object, property);
    if (!p.isValid())
        return {};
    const QString text = p.read(object).toString();
    return isFont(property) ? fontFamily(text) : text;
}

void writeControlText(QObject* object, ControlProperty property, const QString& text)
{
    const QMetaProperty p = qtProperty(object, property);
    if (!p.isValid())
        return;
    if (!isFont(property)) {
        p.write(object, text);
        return;
    }
    QString description = p.read(object).toString();
    const int comma = description.indexOf(QLatin1Char(','));
    description.replace(0, comma < 0 ? description.size() : comma, text);
    QVariant font(description);
    if (font.convert(p.metaType()))
        p.write(object, font);
}

QString controlTag(const QObject* object)
{
    return object->property("Tag").toString();
}

} // namespace tvq52
