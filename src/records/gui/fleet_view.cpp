#include "records/gui/fleet_view.h"

#include "i18n/gui/access_keys.h"

#include "i18n/catalogue_message.h"
#include "i18n/translator.h"

#include <QComboBox>
#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QShortcut>
#include <QSpinBox>
#include <QStackedWidget>
#include <QStyle>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>

namespace tvq52 {

namespace {

// The texts here are put in the user's language by retranslate(): the form
// translation leaves them alone.
template <typename W> W* ownText(W* widget, const char* name)
{
    widget->setObjectName(QString::fromLatin1(name));
    widget->setProperty("Tag", QStringLiteral("!"));
    return widget;
}

struct FilterChoice {
    FleetFilter filter;
    const char* text;
};
const FilterChoice kFilters[] = {
    {FleetFilter::All, "Todos los aparatos"},
    {FleetFilter::Attention, "Necesitan atención"},
    {FleetFilter::Tamper, "Señales de manipulación"},
    {FleetFilter::Stale, "Sin leer hace tiempo"},
    {FleetFilter::Exceedances, "Con noches de exceso"},
};

// A long venue or list of reasons would push the columns after it out of
// sight; the whole text is in the cell's tip.
constexpr int kWidestVenue = 170;
constexpr int kWidestReasons = 260;

} // namespace

FleetView::FleetView(const Translator& translator, Loader loader, QWidget* parent)
    : QWidget(parent), translator_(translator), loader_(std::move(loader))
{
    setObjectName(QStringLiteral("FleetView"));
    model_ = new FleetModel(translator_, this);
    proxy_ = new FleetFilterModel(this);
    proxy_->setSourceModel(model_);

    table_ = ownText(new QTableView(this), "GridAparatos");
    table_->setModel(proxy_);
    table_->setSortingEnabled(true);
    // The rows come by urgency; the reasons column stands for it.
    table_->sortByColumn(FleetModel::Reasons, Qt::DescendingOrder);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setAlternatingRowColors(true);
    table_->setWordWrap(false);
    table_->verticalHeader()->hide();
    // Rows as tight as the text: more units in sight.
    table_->verticalHeader()->setMinimumSectionSize(0);
    table_->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->horizontalHeader()->setSortIndicatorShown(true);
    table_->setContextMenuPolicy(Qt::CustomContextMenu);
    table_->setMinimumHeight(120);
    // One Tab stop: Tab goes on to the next control rather than through every cell.
    table_->setTabKeyNavigation(false);
    // A double click or Enter opens the unit's recorded data.
    connect(table_, &QTableView::activated, this,
            [this](const QModelIndex& index) { openForRow(index.row(), Action::RecordedData); });
    connect(table_, &QTableView::customContextMenuRequested, this, &FleetView::showContextMenu);

    emptyHint_ = ownText(new QLabel(this), "LbSinAparatos");
    emptyHint_->setAlignment(Qt::AlignCenter);
    emptyHint_->setWordWrap(true);
    emptyHint_->setMargin(12);

    pages_ = new QStackedWidget(this);
    pages_->addWidget(table_);
    pages_->addWidget(emptyHint_);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(buildControls());
    layout->addWidget(pages_, 1);
    // The count goes under the table: the row above is full in the longer languages.
    count_ = ownText(new QLabel(this), "LbCuentaAparatos");
    layout->addWidget(count_);

    // Ctrl+F goes to the search field wherever the focus is in the window.
    auto* find = new QShortcut(this);
    find->setObjectName(QStringLiteral("ShortcutBuscarAparato"));
    QList<QKeySequence> keys = QKeySequence::keyBindings(QKeySequence::Find);
    if (keys.isEmpty())
        keys.append(QKeySequence(Qt::CTRL | Qt::Key_F));
    find->setKeys(keys);
    find->setContext(Qt::WindowShortcut);
    connect(find, &QShortcut::activated, this, &FleetView::focusSearch);
    retranslate();
}

void FleetView::focusSearch()
{
    search_->setFocus(Qt::ShortcutFocusReason);
    search_->selectAll();
}

void FleetView::say(QObject* object, const char* property, const char* native)
{
    said_.push_back({object, property, native});
}

void FleetView::retranslate()
{
    for (const Said& s : said_)
        s.object->setProperty(s.property, translator_.translate(QString::fromUtf8(s.native)));
    for (int i = 0; i < filter_->count(); ++i)
        filter_->setItemText(i, translator_.translate(QString::fromUtf8(kFilters[i].text)));
    emit model_->headerDataChanged(Qt::Horizontal, 0, FleetModel::ColumnCount - 1);
    if (loadedOnce_)
        fitColumns();
    showCount();
}

QWidget* FleetView::buildControls()
{
    auto* bar = new QWidget(this);
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(0, 0, 0, 0);

    auto* filterLabel = ownText(new QLabel(bar), "LbFiltroAparatos");
    say(filterLabel, "text", "Mostrar:");
    filter_ = ownText(new QComboBox(bar), "ComboFiltroAparatos");
    for (const FilterChoice& c : kFilters)
        filter_->addItem(QString::fromUtf8(c.text), int(c.filter));
    filterLabel->setBuddy(filter_);
    connect(filter_, &QComboBox::currentIndexChanged, this, [this] {
        proxy_->setFilter(FleetFilter(filter_->currentData().toInt()));
        showCount();
    });

    auto* staleLabel = ownText(new QLabel(bar), "LbDiasSinLeer");
    say(staleLabel, "text", "Días sin leer:");
    staleDays_ = ownText(new QSpinBox(bar), "SpinDiasSinLeer");
    staleDays_->setRange(1, 3650);
    staleDays_->setValue(FleetOptions{}.staleDays);
    say(staleDays_, "toolTip", "Un aparato sin descargar durante más días necesita atención");
    staleLabel->setBuddy(staleDays_);
    // Typed digits count once the user settles on a number; the arrows at once.
    staleDays_->setKeyboardTracking(false);
    connect(staleDays_, &QSpinBox::valueChanged, this, [this](int days) {
        emit staleDaysChanged(days);
        if (loadedOnce_)
            refresh();
    });

    auto* searchLabel = ownText(new QLabel(bar), "LbBuscarAparato");
    say(searchLabel, "text", "Buscar:");
    search_ = ownText(new QLineEdit(bar), "TextBuscarAparato");
    say(search_, "placeholderText", "Nº de serie, local o teléfono");
    search_->setClearButtonEnabled(true);
    search_->setMinimumWidth(160);
    searchLabel->setBuddy(search_);
    connect(search_, &QLineEdit::textChanged, this, [this](const QString& text) {
        proxy_->setSearch(text);
        showCount();
    });

    refresh_ = ownText(new QToolButton(bar), "CommandActualizarAparatos");
    say(refresh_, "text", "Actualizar");
    say(refresh_, "toolTip", "Volver a leer la lista de aparatos");
    refresh_->setIcon(style()->standardIcon(QStyle::SP_BrowserReload));
    refresh_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    connect(refresh_, &QToolButton::clicked, this, [this] { refresh(); });
    auto* again = new QShortcut(QKeySequence(QKeySequence::Refresh), this);
    again->setObjectName(QStringLiteral("ShortcutActualizarAparatos"));
    again->setContext(Qt::WindowShortcut);
    connect(again, &QShortcut::activated, this, [this] { refresh(); });

    row->addWidget(filterLabel);
    row->addWidget(filter_);
    row->addSpacing(8);
    row->addWidget(staleLabel);
    row->addWidget(staleDays_);
    row->addSpacing(8);
    row->addWidget(searchLabel);
    row->addWidget(search_, 1);
    row->addWidget(refresh_);
    return bar;
}

void FleetView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!loadedOnce_)
        refresh();
}

bool FleetView::refresh()
{
    loadedOnce_ = true;
    const qint32 selected = [this] {
        const QModelIndexList rows = table_->selectionModel()->selectedRows();
        return rows.isEmpty() ? 0 : proxy_->serialAt(rows.front().row());
    }();
    FleetOptions options;
    options.staleDays = staleDays_->value();
    Result<std::vector<FleetUnit>> loaded = loader_ ? loader_(options) : Result<std::vector<FleetUnit>>(std::vector<FleetUnit>{});
    if (!loaded) {
        failure_ = errorText(translator_, loaded.error());
        model_->setUnits({});
    } else {
        failure_.clear();
        model_->setUnits(std::move(*loaded));
    }
    fitColumns();
    for (int row = 0; selected != 0 && row < proxy_->rowCount(); ++row)
        if (proxy_->serialAt(row) == selected)
            table_->selectRow(row);
    showCount();
    return failure_.isEmpty();
}

int FleetView::staleDays() const
{
    return staleDays_->value();
}

void FleetView::setStaleDays(int days)
{
    staleDays_->setValue(days);
}

void FleetView::fitColumns()
{
    QHeaderView* header = table_->horizontalHeader();
    table_->resizeColumnsToContents();
    if (header->sectionSize(FleetModel::Venue) > kWidestVenue)
        header->resizeSection(FleetModel::Venue, kWidestVenue);
    if (header->sectionSize(FleetModel::Reasons) > kWidestReasons)
        header->resizeSection(FleetModel::Reasons, kWidestReasons);
}

void FleetView::showCount()
{
    const int units = model_->rowCount();
    const int attention = model_->needingAttention();
    const QString unitsText = units == 1 ? translator_.translate(QStringLiteral("1 aparato"))
                                         : translator_.translate(QStringLiteral("%1 aparatos")).arg(units);
    const QString attentionText = attention == 1
        ? translator_.translate(QStringLiteral("1 necesita atención"))
        : translator_.translate(QStringLiteral("%1 necesitan atención")).arg(attention);
    count_->setText(unitsText + QStringLiteral(", ") + attentionText);

    // An empty table says why it is empty.
    QString hint;
    if (!failure_.isEmpty())
        hint = failure_;
    else if (units == 0)
        hint = translator_.translate(
            QStringLiteral("No hay aparatos guardados. Los aparatos programados o importados aparecerán aquí."));
    else if (proxy_->rowCount() == 0)
        hint = translator_.translate(QStringLiteral("Ningún aparato coincide con el filtro o la búsqueda."));
    emptyHint_->setText(hint);
    pages_->setCurrentWidget(hint.isEmpty() ? static_cast<QWidget*>(table_) : emptyHint_);
    emit countShown();
}

void FleetView::openForRow(int row, Action action)
{
    const qint32 serial = proxy_->serialAt(row);
    if (serial == 0)
        return;
    // In the order of Action.
    static constexpr std::function<void(qint32)> Openers::* kOpeners[] = {
        &Openers::recordedData, &Openers::programming, &Openers::graph, &Openers::reports, &Openers::download};
    const std::function<void(qint32)>& open = openers_.*kOpeners[int(action)];
    if (open)
        open(serial);
}

void FleetView::showContextMenu(const QPoint& at)
{
    const QModelIndex index = table_->indexAt(at);
    if (!index.isValid())
        return;
    table_->selectRow(index.row());
    QMenu menu(this);
    menu.setObjectName(QStringLiteral("MenuAparato"));
    const std::pair<const char*, Action> entries[] = {
        {"Datos registrados", Action::RecordedData}, {"Programación", Action::Programming},
        {"Gráfica", Action::Graph},                  {"Informes", Action::Reports},
        {"Descargar", Action::Download},
    };
    QStringList captions;
    for (const auto& [text, action] : entries)
        captions << translator_.translate(QString::fromUtf8(text));
    QString taken;
    captions = assignAccessKeys(captions, taken);
    for (qsizetype i = 0; i < captions.size(); ++i)
        menu.addAction(captions[i])->setData(int(entries[i].second));
    menu.setDefaultAction(menu.actions().front());
    const int row = index.row();
    if (QAction* chosen = menu.exec(table_->viewport()->mapToGlobal(at)))
        openForRow(row, Action(chosen->data().toInt()));
}

} // namespace tvq52
