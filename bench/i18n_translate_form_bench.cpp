// Translating a window of 200 controls against a 5,000-row language database;
// the target is under 5 ms a window.
#include "i18n/gui/composite_controls.h"
#include "i18n/translator.h"

#include <QApplication>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include "bench_support.h"
#include <memory>

using namespace tvq52;

namespace {

constexpr int kRows = 5000;
constexpr int kControls = 200;

QString native(int i)
{
    return QStringLiteral("Texto nativo número %1").arg(i);
}

QString writeDatabase(const QTemporaryDir& dir)
{
    const QString path = dir.filePath(QStringLiteral("Language.db"));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("bench"));
        db.setDatabaseName(path);
        db.open();
        QSqlQuery q(db);
        q.exec(
            QStringLiteral("CREATE TABLE LocGuru (Native VARCHAR(255), English TEXT, bSkip INTEGER DEFAULT 0, "
                           "bIsUsed INTEGER DEFAULT 0)"));
        db.transaction();
        q.prepare(QStringLiteral("INSERT INTO LocGuru (Native, English) VALUES (?, ?)"));
        for (int i = 0; i < kRows; ++i) {
            // Every tenth text also has an upper-case variant.
            q.addBindValue(native(i));
            q.addBindValue(QStringLiteral("Native text number %1").arg(i));
            q.exec();
            if (i % 10 == 0) {
                q.addBindValue(native(i).toUpper());
                q.addBindValue(QStringLiteral("NATIVE TEXT %1").arg(i));
                q.exec();
            }
        }
        db.commit();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("bench"));
    return path;
}

// 200 controls: buttons with tips, labels, group boxes, a tab widget and a
// table whose headings count as controls too.
std::unique_ptr<QDialog> buildWindow()
{
    auto form = std::make_unique<QDialog>();
    form->setWindowTitle(native(0));
    auto* tabs = new QTabWidget(form.get());
    for (int t = 0; t < 4; ++t)
        tabs->addTab(new QWidget(tabs), native(4000 + t));
    auto* model = new QStandardItemModel(0, 8, form.get());
    QStringList headings;
    for (int c = 0; c < 8; ++c)
        headings << native(4100 + c);
    model->setHorizontalHeaderLabels(headings);
    (new QTableView(form.get()))->setModel(model);
    int made = 2;
    for (int i = 0; made < kControls; ++i) {
        QWidget* parent = tabs->widget(i % 4);
        switch (i % 3) {
        case 0: {
            auto* b = new QPushButton(native(i * 7 % kRows), parent);
            b->setToolTip(native((i * 13 + 1) % kRows));
            break;
        }
        case 1:
            new QLabel(native(i * 11 % kRows), parent);
            break;
        default:
            new QGroupBox(native(i * 17 % kRows), parent);
            break;
        }
        ++made;
    }
    return form;
}

void BM_TranslateForm(benchmark::State& state)
{
    QTemporaryDir dir;
    Translator translator;
    installWidgetTranslation(translator);
    translator.foreignColumnName = QStringLiteral("English");
    if (!translator.openLanguageDatabase(writeDatabase(dir), true, Translator::SqlDb)) {
        state.SkipWithError("language database not opened");
        return;
    }
    for (auto _ : state) {
        state.PauseTiming();
        std::unique_ptr<QDialog> form = buildWindow();
        state.ResumeTiming();
        translator.translateWindow(form.get());
        state.PauseTiming();
        if (form->windowTitle() != QStringLiteral("Native text number 0"))
            state.SkipWithError("window not translated");
        form.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_TranslateForm)->Unit(benchmark::kMillisecond);

void BM_OpenLanguageDatabase(benchmark::State& state)
{
    QTemporaryDir dir;
    const QString path = writeDatabase(dir);
    Translator translator;
    translator.foreignColumnName = QStringLiteral("English");
    for (auto _ : state)
        benchmark::DoNotOptimize(translator.openLanguageDatabase(path, true, Translator::SqlDb));
}
BENCHMARK(BM_OpenLanguageDatabase)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    // Opening the language database happens once a language change; a
    // window's translation each time one opens.
    return bench::runBenchmarks(argc, argv, {},
                                {{"BM_TranslateForm", "real_ms", 5.0}, {"BM_OpenLanguageDatabase", "real_ms", 100.0}});
}
