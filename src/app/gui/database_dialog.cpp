#include "app/gui/database_dialog.h"

#include "app/gui/dialog_buttons.h"

#include "app/app_context.h"
#include "app/data_folder.h"
#include "app/database_choice.h"
#include "app/database_opening.h"
#include "app/settings.h"
#include "app/startup.h"
#include "core/application_info.h"
#include "core/own_words.h"
#include "core/prompter.h"
#include "db/database_failure.h"
#include "i18n/catalogue_message.h"

#include <QApplication>
#include <QButtonGroup>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace tvq52 {

namespace {

// Shown as given: paths and libpq's words are not ours to translate.
void keepAsIs(QWidget* w)
{
    w->setProperty("Tag", QStringLiteral("!"));
}

QLabel* fieldLabel(const char* name, const char* text, QWidget* buddy, QWidget* parent)
{
    auto* label = new QLabel(QString::fromUtf8(text), parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setBuddy(buddy);
    return label;
}

} // namespace

DatabaseDialog::DatabaseDialog(AppContext& ctx, Prompter& prompter, QWidget* parent, const QString& why)
    : QDialog(parent), ctx_(ctx), prompter_(prompter)
{
    setObjectName(QStringLiteral("FormBaseDatos"));
    setModal(true);
    setMinimumWidth(480);

    const Result<DatabaseTarget> chosen = resolveDatabase(ctx_);
    current_ = chosen ? *chosen : DatabaseTarget::sqlite(databasePath(ctx_.home));

    auto* layout = new QVBoxLayout(this);
    buildChoice(layout, why);
    layout->addWidget(buildServerBox());
    // Beside the box rather than in it: a group box with a wrapping text in
    // it is given too little height by some desktop styles at a fractional
    // scale, and the text is cut.
    passwordNote_ = new QLabel(QStringLiteral("La contraseña se pide al conectar y no se guarda."), this);
    passwordNote_->setObjectName(QStringLiteral("LbContrasena"));
    passwordNote_->setWordWrap(true);
    layout->addWidget(passwordNote_);
    layout->addWidget(buildResult());
    layout->addStretch();

    addAcceptRow(this, layout, LeaveButton::Exit);

    connect(server_, &QRadioButton::toggled, this, &DatabaseDialog::showServerFields);

    ctx_.translator.translateWindow(this);
    setWindowTitleOf(this, ctx_.translator.translate(QStringLiteral("Base de datos")));
    showCurrent();
}

void DatabaseDialog::buildChoice(QVBoxLayout* layout, const QString& why)
{
    if (!why.isEmpty()) {
        auto* reason = new QLabel(why, this);
        reason->setObjectName(QStringLiteral("LbMotivo"));
        keepAsIs(reason);
        reason->setWordWrap(true);
        reason->setStyleSheet(QStringLiteral("color: #a00000;"));
        layout->addWidget(reason);
    }

    local_ = new QRadioButton(QStringLiteral("Archivo de esta carpeta de datos"), this);
    local_->setObjectName(QStringLiteral("OptionLocal"));
    layout->addWidget(local_);
    auto* path = new QLabel(databasePath(ctx_.home), this);
    path->setObjectName(QStringLiteral("LbRutaLocal"));
    keepAsIs(path);
    path->setWordWrap(true);
    path->setTextInteractionFlags(Qt::TextSelectableByMouse);
    path->setContentsMargins(22, 0, 0, 6);
    layout->addWidget(path);

    server_ = new QRadioButton(QStringLiteral("Servidor PostgreSQL de la oficina"), this);
    server_->setObjectName(QStringLiteral("OptionServidor"));
    layout->addWidget(server_);
    auto* kind = new QButtonGroup(this);
    kind->addButton(local_);
    kind->addButton(server_);
}

QGroupBox* DatabaseDialog::buildServerBox()
{
    serverBox_ = new QGroupBox(QStringLiteral("Servidor"), this);
    serverBox_->setObjectName(QStringLiteral("FrameServidor"));
    auto* form = new QFormLayout(serverBox_);
    host_ = new QLineEdit(serverBox_);
    host_->setObjectName(QStringLiteral("TxtServidor"));
    // An example address: read as text, so it follows the language.
    host_->setPlaceholderText(ctx_.translator.translate(QStringLiteral("servidor.oficina.local")));
    keepAsIs(host_);
    form->addRow(fieldLabel("LbServidor", "Dirección:", host_, serverBox_), host_);
    port_ = new QSpinBox(serverBox_);
    port_->setObjectName(QStringLiteral("TxtPuerto"));
    port_->setRange(1, 65535);
    port_->setValue(5432);
    form->addRow(fieldLabel("LbPuertoServidor", "Puerto:", port_, serverBox_), port_);
    database_ = new QLineEdit(serverBox_);
    database_->setObjectName(QStringLiteral("TxtBaseDatos"));
    keepAsIs(database_);
    form->addRow(fieldLabel("LbBaseDatos", "Base de datos:", database_, serverBox_), database_);
    user_ = new QLineEdit(serverBox_);
    user_->setObjectName(QStringLiteral("TxtUsuario"));
    keepAsIs(user_);
    form->addRow(fieldLabel("LbUsuario", "Usuario:", user_, serverBox_), user_);
    auto* probe = new QPushButton(QStringLiteral("Probar conexión"), serverBox_);
    probe->setObjectName(QStringLiteral("SSCommandProbar"));
    auto* probeRow = new QHBoxLayout;
    probeRow->addWidget(probe);
    probeRow->addStretch();
    form->addRow(probeRow);
    connect(probe, &QPushButton::clicked, this, &DatabaseDialog::testConnection);
    return serverBox_;
}

QLabel* DatabaseDialog::buildResult()
{
    result_ = new QLabel(this);
    result_->setObjectName(QStringLiteral("LbResultado"));
    keepAsIs(result_);
    result_->setWordWrap(true);
    result_->setMinimumHeight(result_->fontMetrics().lineSpacing() * 4);
    result_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    result_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return result_;
}

void DatabaseDialog::showCurrent()
{
    if (current_.isServer()) {
        host_->setText(current_.host);
        port_->setValue(current_.port);
        database_->setText(current_.database);
        user_->setText(current_.user);
    }
    (current_.isServer() ? server_ : local_)->setChecked(true);
    showServerFields(current_.isServer());
}

void DatabaseDialog::showServerFields(bool server)
{
    serverBox_->setEnabled(server);
    passwordNote_->setEnabled(server);
    result_->clear();
}

std::optional<DatabaseTarget> DatabaseDialog::chosen() const
{
    if (local_->isChecked())
        return DatabaseTarget::sqlite(databasePath(ctx_.home));
    if (database_->text().trimmed().isEmpty())
        return std::nullopt;
    DatabaseTarget t;
    t.dialect = SqlDialect::PostgreSQL;
    t.host = host_->text().trimmed();
    t.port = port_->value();
    t.database = database_->text().trimmed();
    t.user = user_->text().trimmed();
    // Settings the fields do not show (sslmode, a socket folder) stay.
    if (current_.isServer())
        t.options = current_.options;
    return t;
}

void DatabaseDialog::testConnection()
{
    const std::optional<DatabaseTarget> target = chosen();
    if (!target || !target->isServer()) {
        result_->setText(ctx_.translator.translate(QStringLiteral("Escriba el nombre de la base de datos.")));
        return;
    }
    result_->setText(ctx_.translator.translate(QStringLiteral("Conectando...")));
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QApplication::processEvents();
    const auto db = Database::openServer(*target, passwordThrough(prompter_, ctx_.translator));
    Error said;
    bool usable = false;
    if (db) {
        QString detail;
        const SchemaState state = (*db)->inspectSchema(&detail);
        said = schemaStateWords(state, *target, detail);
        usable = state != SchemaState::Foreign;
    } else {
        said = toldFailure(databaseFailureOf(db.error()), FailureWording::Opening, {*target, ctx_.home, 0});
    }
    // Translated texts break lines as CR LF; a label takes LF.
    const QString text = errorText(ctx_.translator, said).replace(QLatin1String("\r\n"), QLatin1String("\n"));
    QApplication::restoreOverrideCursor();
    // Green when the database can be used, red when not: seen before read.
    result_->setStyleSheet(usable ? QStringLiteral("color: #006000;") : QStringLiteral("color: #a00000;"));
    result_->setText(text);
}

QString DatabaseDialog::resultText() const
{
    return result_->text();
}

void DatabaseDialog::accept()
{
    if (!chosen()) {
        prompter_.show(ctx_.translator.translate(QStringLiteral("Escriba el nombre de la base de datos.")),
                       MessageStyle::Exclamation);
        database_->setFocus();
        return;
    }
    QDialog::accept();
}

} // namespace tvq52
