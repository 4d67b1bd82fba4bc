#include "records/gui/range_picker.h"

#include "core/application_info.h"
#include "core/catalogue_ids.h"
#include "core/prompter.h"
#include "i18n/catalogue_message.h"
#include "i18n/translator.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QToolButton>
#include <QVBoxLayout>

namespace tvq52 {

namespace {

constexpr int kFirstMonthName = 158; // January
constexpr int kShortSunday = 176;
constexpr int kShortMonday = 170; // 170..175: Monday..Saturday
constexpr int kFullSunday = 76;

int shortWeekdayId(int fromSunday)
{
    return fromSunday == 0 ? kShortSunday : kShortMonday + fromSunday - 1;
}

int fullWeekdayId(int fromSunday)
{
    return fromSunday == 0 ? kFullSunday : msg::Monday + fromSunday - 1;
}

} // namespace

MonthCalendar::MonthCalendar(const Translator& translator, QWidget* parent) : QFrame(parent, Qt::Popup), translator_(translator)
{
    setObjectName(QStringLiteral("Calendario"));
    setFrameShape(QFrame::StyledPanel);
    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    addStep(top, "CalendarioAnteriorAno", "Año anterior", QStringLiteral("«"), -12);
    addStep(top, "CalendarioAnterior", "Mes anterior", QStringLiteral("‹"), -1);
    title_ = new QLabel(this);
    title_->setObjectName(QStringLiteral("CalendarioMes"));
    title_->setAlignment(Qt::AlignCenter);
    top->addWidget(title_, 1);
    addStep(top, "CalendarioSiguiente", "Mes siguiente", QStringLiteral("›"), 1);
    addStep(top, "CalendarioSiguienteAno", "Año siguiente", QStringLiteral("»"), 12);
    layout->addLayout(top);

    auto* grid = new QGridLayout;
    grid->setSpacing(1);
    for (int d = 0; d < 7; ++d) {
        auto* label = new QLabel(translator_.text(shortWeekdayId(d)), this);
        label->setToolTip(translator_.text(fullWeekdayId(d)));
        label->setAlignment(Qt::AlignCenter);
        grid->addWidget(label, 0, d);
        weekdays_ << label;
    }
    for (int i = 0; i < 42; ++i) {
        auto* day = new QToolButton(this);
        day->setAutoRaise(true);
        day->setMinimumWidth(30);
        grid->addWidget(day, 1 + i / 7, i % 7);
        connect(day, &QToolButton::clicked, this, [this, i] {
            const QDate first = month_.addDays(-(month_.dayOfWeek() % 7));
            selected_ = first.addDays(i);
            hide();
            emit picked(selected_);
        });
        days_ << day;
    }
    layout->addLayout(grid);
}

QToolButton* MonthCalendar::addStep(QHBoxLayout* row, const char* name, const char* tip, const QString& caption,
                                    int months)
{
    auto* step = new QToolButton(this);
    step->setObjectName(QString::fromLatin1(name));
    step->setText(caption);
    // A sign, the same in every language.
    step->setProperty("Tag", QStringLiteral("!"));
    step->setAutoRaise(true);
    step->setToolTip(translator_.translate(QString::fromUtf8(tip)));
    row->addWidget(step);
    connect(step, &QToolButton::clicked, this, [this, months] { stepMonth(months); });
    return step;
}

void MonthCalendar::keyPressEvent(QKeyEvent* event)
{
    const int sign = event->key() == Qt::Key_PageUp ? -1 : event->key() == Qt::Key_PageDown ? 1 : 0;
    if (sign == 0) {
        QFrame::keyPressEvent(event);
        return;
    }
    stepMonth(sign * (event->modifiers() & Qt::ShiftModifier ? 12 : 1));
}

void MonthCalendar::showMonth(const QDate& selected)
{
    selected_ = selected.isValid() ? selected : QDate::currentDate();
    month_ = QDate(selected_.year(), selected_.month(), 1);
    fill();
}

void MonthCalendar::stepMonth(int months)
{
    month_ = month_.addMonths(months);
    fill();
}

QString MonthCalendar::monthTitle() const
{
    return title_->text();
}

QStringList MonthCalendar::weekdayHeadings() const
{
    QStringList names;
    for (const QLabel* l : weekdays_)
        names << l->text();
    return names;
}

void MonthCalendar::fill()
{
    title_->setText(QStringLiteral("%1 %2").arg(translator_.text(kFirstMonthName + month_.month() - 1)).arg(month_.year()));
    // Sunday-first rows: the grid starts on the Sunday before the 1st.
    const QDate first = month_.addDays(-(month_.dayOfWeek() % 7));
    for (int i = 0; i < days_.size(); ++i) {
        const QDate d = first.addDays(i);
        QToolButton* b = days_[i];
        b->setText(QString::number(d.day()));
        b->setEnabled(d.month() == month_.month());
        QFont f = b->font();
        f.setBold(d == selected_);
        b->setFont(f);
    }
}

RangePicker::RangePicker(const Translator& translator, Prompter& prompter, const QDateTime& start, const QDateTime& end,
                         QWidget* parent)
    : QDialog(parent), translator_(translator), prompter_(prompter)
{
    setObjectName(QStringLiteral("Form8"));
    setWindowTitleOf(this, translator_.translate(QStringLiteral("Intervalo de descarga")));
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    auto* fields = new QGridLayout;
    auto* from = new QLabel(QStringLiteral("Desde:"), this);
    from->setObjectName(QStringLiteral("LbFechaIni"));
    auto* to = new QLabel(QStringLiteral("Hasta:"), this);
    to->setObjectName(QStringLiteral("LbFechaFi"));
    fields->addWidget(from, 0, 0);
    fields->addWidget(dateField("MaskFechaIni", "CalendarioIni", start, &start_), 0, 1);
    fields->addWidget(to, 1, 0);
    fields->addWidget(dateField("MaskFechaFi", "CalendarioFi", end, &end_), 1, 1);
    layout->addLayout(fields);

    // In the desktop's order.
    auto* buttons = new QDialogButtonBox(this);
    auto* ok = buttons->addButton(QStringLiteral("Aceptar"), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("CommandVolver"));
    ok->setDefault(true);
    auto* cancel = buttons->addButton(QStringLiteral("Cancelar"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("SSCommandCancelar"));
    layout->addWidget(buttons);
    connect(ok, &QPushButton::clicked, this, &RangePicker::confirm);
    // The close box leaves the same way as Cancel: no range.
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    calendar_ = new MonthCalendar(translator_, this);
    connect(calendar_, &MonthCalendar::picked, this, [this](const QDate& date) {
        if (!calendarFor_)
            return;
        const auto current = readField(calendarFor_->text());
        const QTime time = current ? current->time() : QTime(0, 0);
        const QDateTime picked(date, time, Qt::UTC);
        calendarFor_->setText(fieldText(picked));
        setTo_.insert(calendarFor_, picked);
    });
    translator_.translateWindow(this);
}

QWidget* RangePicker::dateField(const char* name, const char* buttonName, const QDateTime& at, QLineEdit** field)
{
    auto* box = new QWidget(this);
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(2);
    auto* edit = new QLineEdit(box);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setInputMask(QStringLiteral("99/99/99 99:99"));
    edit->setText(fieldText(at));
    setTo_.insert(edit, at);
    edit->setMinimumWidth(edit->fontMetrics().horizontalAdvance(QStringLiteral("00/00/00 00:00")) + 24);
    auto* drop = new QToolButton(box);
    drop->setObjectName(QString::fromLatin1(buttonName));
    drop->setArrowType(Qt::DownArrow);
    connect(drop, &QToolButton::clicked, this, [this, edit, drop] { dropCalendar(edit, drop); });
    row->addWidget(edit, 1);
    row->addWidget(drop);
    *field = edit;
    return box;
}

void RangePicker::dropCalendar(QLineEdit* field, QToolButton* button)
{
    calendarFor_ = field;
    const auto current = readField(field->text());
    calendar_->showMonth(current ? current->date() : QDate::currentDate());
    calendar_->adjustSize();
    calendar_->move(button->mapToGlobal(QPoint(button->width() - calendar_->width(), button->height())));
    calendar_->show();
}

QString RangePicker::fieldText(const QDateTime& at)
{
    return at.toString(QStringLiteral("dd/MM/yy HH:mm"));
}

std::optional<QDateTime> RangePicker::readField(const QString& text)
{
    static const QRegularExpression form(QStringLiteral("^(\\d\\d)/(\\d\\d)/(\\d\\d) (\\d\\d):(\\d\\d)$"));
    const auto m = form.match(text.trimmed());
    if (!m.hasMatch())
        return std::nullopt;
    const int yy = m.captured(3).toInt();
    const QDate date(yy < 50 ? 2000 + yy : 1900 + yy, m.captured(2).toInt(), m.captured(1).toInt());
    const QTime time(m.captured(4).toInt(), m.captured(5).toInt());
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    return QDateTime(date, time, Qt::UTC);
}

std::optional<QDateTime> RangePicker::fieldValue(const QLineEdit* field) const
{
    auto value = readField(field->text());
    // A date the calendar or the proposal set keeps its century while the
    // field still shows it; only a typed year follows the two-digit rule.
    const auto set = setTo_.constFind(field);
    if (value && set != setTo_.cend() && set->isValid() && fieldText(*set).left(8) == field->text().trimmed().left(8))
        value = QDateTime(set->date(), value->time(), Qt::UTC);
    return value;
}

void RangePicker::confirm()
{
    const auto start = fieldValue(start_);
    const auto end = fieldValue(end_);
    if (!start || !end) {
        showCatalogue(prompter_, translator_, msg::WrongDate, MessageStyle::Critical);
        (start ? end_ : start_)->setFocus();
        return;
    }
    for (const auto& [at, field] : {std::pair{*start, start_}, std::pair{*end, end_}}) {
        if (requestCarries(at))
            continue;
        const QString text =
            translator_
                .translate(QStringLiteral("La fecha %1 no se puede pedir al TVQ-52: solo admite años de %2 a %3."))
                .arg(at.toString(QStringLiteral("dd/MM/yyyy HH:mm")))
                .arg(kFirstRequestYear)
                .arg(kLastRequestYear);
        prompter_.message(Message{text, {}, MessageStyle::Critical, 0, {}});
        field->setFocus();
        return;
    }
    if (*end <= *start) {
        showCatalogue(prompter_, translator_, msg::IntervalEndNotAfterStart, MessageStyle::Plain);
        return;
    }
    range_ = DownloadRange::from(*start, *end);
    accept();
}

} // namespace tvq52
