#include "programming/gui/unit_page.h"

#include "programming/gui/field_rules.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

namespace tvq52 {

namespace {

const char* const kLanguageOptions[6] = {"OptionEspañol", "OptionCatalan", "OptionIngles",
                                         "OptionAleman",  "OptionFrances", "OptionItaliano"};
const char* const kLanguageCaptions[6] = {"Español", "Català", "English", "Deutsch", "Français", "Italiano"};

int numberIn(const QLineEdit* field)
{
    return field->text().trimmed().toInt();
}

} // namespace

UnitPage::UnitPage(FieldRules& rules, QWidget* parent) : QWidget(parent)
{
    auto* outer = new QVBoxLayout(this);
    auto* layout = new QHBoxLayout;
    outer->addLayout(layout);
    outer->addStretch();

    auto* language = new QGroupBox(QStringLiteral("Idioma"), this);
    auto* languageLayout = new QVBoxLayout(language);
    for (int i = 0; i < 6; ++i) {
        languages[i] = new QRadioButton(QString::fromUtf8(kLanguageCaptions[i]), language);
        languages[i]->setObjectName(QString::fromUtf8(kLanguageOptions[i]));
        connect(languages[i], &QRadioButton::clicked, this, [&rules] { rules.markEdited(); });
        languageLayout->addWidget(languages[i]);
    }
    languageLayout->addStretch();
    layout->addWidget(language);

    auto* options = new QGroupBox(QStringLiteral("Opciones"), this);
    auto* form = new QFormLayout(options);
    leqTime = rules.addLineEdit(options, QStringLiteral("MaskTLeq"), FieldRules::Keys::Free);
    leqTime->setValidator(digitsOnly(2, leqTime));
    fastLimit = rules.addLineEdit(options, QStringLiteral("MaskMFast"), FieldRules::Keys::Free);
    fastLimit->setValidator(digitsOnly(3, fastLimit));
    rings = rules.addLineEdit(options, QStringLiteral("MaskRings"), FieldRules::Keys::NoBlanks);
    rings->setValidator(digitsOnly(1, rings));
    clockChange = new QCheckBox(QStringLiteral("Cambio de hora"), options);
    clockChange->setObjectName(QStringLiteral("CheckCambioHora"));
    printing = new QCheckBox(QStringLiteral("Impresión continua"), options);
    printing->setObjectName(QStringLiteral("CheckImpresion"));
    for (QCheckBox* c : {clockChange, printing})
        connect(c, &QCheckBox::clicked, this, [&rules] { rules.markEdited(); });
    for (QLineEdit* e : {leqTime, fastLimit, rings})
        e->setMaximumWidth(80);
    form->addRow(QStringLiteral("Tiempo de Leq (min):"), leqTime);
    form->addRow(QStringLiteral("Límite LFmax (dBA):"), fastLimit);
    form->addRow(QStringLiteral("Rings antes de que el modem decuelgue:"), rings);
    form->addRow(clockChange);
    form->addRow(printing);
    layout->addWidget(options, 1);

    globalCorrectionFrame = new QGroupBox(QStringLiteral("Corrección global"), this);
    globalCorrectionFrame->setObjectName(QStringLiteral("FrameApliCorrecioGlobal"));
    auto* frameLayout = new QVBoxLayout(globalCorrectionFrame);
    globalCorrection = new QCheckBox(QStringLiteral("Aplicar corrección global"), globalCorrectionFrame);
    globalCorrection->setObjectName(QStringLiteral("CheckApliCorrecioGlobal"));
    frameLayout->addWidget(globalCorrection);
    frameLayout->addStretch();
    layout->addWidget(globalCorrectionFrame);
}

void UnitPage::showRecord(const ProgrammingRecord& r)
{
    clockChange->setChecked(r.clockChange);
    printing->setChecked(r.continuousPrinting);
    const int language = unitLanguages().indexOf(r.language);
    languages[language >= 0 ? language : 0]->setChecked(true);
    leqTime->setText(QString::number(r.leqMinutes));
    fastLimit->setText(QString::number(r.fastLimit));
    rings->setText(QString::number(r.rings));
}

void UnitPage::readRecord(ProgrammingRecord& r) const
{
    r.clockChange = clockChange->isChecked();
    r.continuousPrinting = printing->isChecked();
    for (int i = 0; i < 6; ++i)
        if (languages[i]->isChecked())
            r.language = unitLanguages()[i];
    r.leqMinutes = numberIn(leqTime);
    r.fastLimit = numberIn(fastLimit);
    r.rings = numberIn(rings);
    r.globalCorrection = globalCorrection->isChecked();
}

void UnitPage::applyFirmware(const QString& version, bool correction)
{
    const bool shown = hasGlobalCorrection(version);
    globalCorrectionFrame->setVisible(shown);
    if (shown)
        globalCorrection->setChecked(correction);
}

} // namespace tvq52
