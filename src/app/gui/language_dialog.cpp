#include "app/gui/language_dialog.h"

#include "app/gui/dialog_buttons.h"

#include "app/app_context.h"
#include "app/language_table.h"
#include "core/application_info.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace tvq52 {

namespace {

// Option names in the order of the language table.
const char* const kOptionNames[] = {"OptionEspañol", "OptionCatalan",  "OptionIngles",   "OptionAleman",
                                    "OptionFrances", "OptionItaliano", "OptionPortugues"};

} // namespace

LanguageDialog::LanguageDialog(AppContext& ctx, QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("Form7"));
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    auto* box = new QGroupBox(QStringLiteral("Idioma"), this);
    box->setObjectName(QStringLiteral("FrameIdioma"));
    auto* boxLayout = new QVBoxLayout(box);
    auto* group = new QButtonGroup(this);
    std::size_t i = 0;
    for (const LanguageInfo& l : languageTable()) {
        auto* option = new QRadioButton(QString::fromUtf8(l.name), box);
        option->setObjectName(QString::fromUtf8(kOptionNames[i++]));
        // A language is named in its own words, whatever the interface language.
        option->setProperty("Tag", QStringLiteral("!"));
        group->addButton(option, l.code);
        boxLayout->addWidget(option);
    }
    layout->addWidget(box);

    addAcceptRow(this, layout, LeaveButton::Cancel);
    connect(group, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked)
            code_ = qint16(id);
    });

    ctx.translator.translateWindow(this);
    setWindowTitleOf(this, ctx.translator.translate(QStringLiteral("Idioma")));
    if (QAbstractButton* current = group->button(ctx.LanguageCodeValue))
        current->setChecked(true);
}

} // namespace tvq52
