#include "programming/gui/insulation_page.h"

#include "programming/gui/field_rules.h"

#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QVBoxLayout>
#include <algorithm>

namespace tvq52 {

namespace {

const char* const kOctaveCaptions[kOctaveCount] = {"31,5 Hz", "63 Hz", "125 Hz", "250 Hz", "500 Hz",
                                                   "1 kHz",   "2 kHz", "4 kHz",  "8 kHz"};

} // namespace

InsulationPage::InsulationPage(FieldRules& rules, QWidget* parent) : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    auto* box = new QGroupBox(QStringLiteral("Aislamiento acústico (dB)"), this);
    auto* grid = new QGridLayout(box);
    for (int i = 0; i < kOctaveCount; ++i) {
        auto* spin = new QDoubleSpinBox(box);
        spin->setObjectName(QStringLiteral("MaskOctava%1").arg(i + 1));
        spin->setRange(kLowestOctave, kHighestOctave);
        spin->setDecimals(1);
        spin->setButtonSymbols(QAbstractSpinBox::NoButtons);
        spin->setAlignment(Qt::AlignRight);
        spin->setMinimumWidth(90);
        rules.watch(spin, FieldRules::Keys::Signed);
        connect(spin, &QDoubleSpinBox::valueChanged, this, [&rules] { rules.markEdited(); });
        octaves[i] = spin;
        auto* label = new QLabel(QString::fromUtf8(kOctaveCaptions[i]), box);
        label->setAlignment(Qt::AlignCenter);
        grid->addWidget(label, 0, i);
        grid->addWidget(spin, 1, i);
    }
    layout->addWidget(box);
    layout->addStretch();
}

void InsulationPage::showRecord(const ProgrammingRecord& r)
{
    for (int i = 0; i < kOctaveCount; ++i) {
        const double v = double(r.octaves[i]);
        // A stored value beyond what the unit holds is shown as it is, not
        // clamped; the field checks refuse to send it.
        octaves[i]->setRange(std::min(kLowestOctave, v), std::max(kHighestOctave, v));
        octaves[i]->setValue(v);
        loaded_[i] = r.octaves[i];
        shownAs_[i] = octaves[i]->value();
    }
}

void InsulationPage::readRecord(ProgrammingRecord& r) const
{
    for (int i = 0; i < kOctaveCount; ++i) {
        const double v = octaves[i]->value();
        r.octaves[i] = v == shownAs_[i] ? loaded_[i] : float(v);
    }
}

} // namespace tvq52
