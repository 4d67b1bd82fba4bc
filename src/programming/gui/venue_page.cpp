#include "programming/gui/venue_page.h"

#include "programming/gui/field_rules.h"

#include <QFormLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRegularExpressionValidator>

namespace tvq52 {

VenuePage::VenuePage(FieldRules& rules, QWidget* parent) : QWidget(parent)
{
    auto* form = new QFormLayout(this);
    contact = rules.addLineEdit(this, QStringLiteral("MaskContacto"), FieldRules::Keys::Free);
    venue = rules.addLineEdit(this, QStringLiteral("MaskLocal"), FieldRules::Keys::Free);
    address = rules.addLineEdit(this, QStringLiteral("MaskDireccion"), FieldRules::Keys::Free);
    town = rules.addLineEdit(this, QStringLiteral("MaskPoblacion"), FieldRules::Keys::Free);
    for (QLineEdit* e : {contact, venue, address, town})
        e->setMaxLength(30);
    phone = rules.addLineEdit(this, QStringLiteral("MaskTelefono"), FieldRules::Keys::Free);
    phone->setMaxLength(15);
    phone->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9 ]{0,15}")), phone));
    note = new QPlainTextEdit(this);
    note->setObjectName(QStringLiteral("TextNota"));
    // Tab moves on, as in every other field.
    note->setTabChangesFocus(true);
    rules.watch(note);
    connect(note, &QPlainTextEdit::textChanged, this, [&rules] { rules.markEdited(); });
    form->addRow(QStringLiteral("Contacto:"), contact);
    form->addRow(QStringLiteral("Local:"), venue);
    form->addRow(QStringLiteral("Dirección:"), address);
    form->addRow(QStringLiteral("Población:"), town);
    form->addRow(QStringLiteral("Teléfono:"), phone);
    form->addRow(QStringLiteral("Nota:"), note);
}

void VenuePage::showRecord(const ProgrammingRecord& r)
{
    contact->setText(r.contact);
    venue->setText(r.venue);
    address->setText(r.address);
    town->setText(r.town);
    phone->setText(r.phone);
    note->setPlainText(r.note);
}

void VenuePage::readRecord(ProgrammingRecord& r) const
{
    r.contact = contact->text();
    r.venue = venue->text();
    r.address = address->text();
    r.town = town->text();
    r.phone = phone->text();
    r.note = note->toPlainText();
}

} // namespace tvq52
