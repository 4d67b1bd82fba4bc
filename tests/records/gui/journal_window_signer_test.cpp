#include "evidence/journal.h"
#include "evidence/signing.h"
#include "programming/gui/window_fixture.h"
#include "records/gui/journal_window.h"
#include "support/result_checks.h"

#include <QTableWidget>
#include <gtest/gtest.h>

using namespace tvq52;

namespace {

using JournalSignerWindowTest = test::WindowFixture;

} // namespace

// An entry from before the key reads unsigned; one signed after names its
// signer, whose fingerprint the tooltip gives.
TEST_F(JournalSignerWindowTest, NamesEachEntrysSigner)
{
    Journal journal(*ctx_->db);
    ASSERT_TRUE(journal.append(JournalAction::Download, 7, QStringLiteral("cable"), QStringLiteral("completed"), {}));
    QTemporaryDir keys;
    const CertificateInfo own = test::take(KeyStore(keys.path()).create(QStringLiteral("Oficina Sur")));
    OfficeSigning::configure({keys.path(), {}, {}});
    OfficeSigning::reset();
    ASSERT_TRUE(journal.append(JournalAction::Download, 7, QStringLiteral("cable"), QStringLiteral("completed"), {}));

    JournalWindow window(ctx_->guru, *ctx_->db, 7);
    QTableWidget* table = window.table();
    const int signer = table->columnCount() - 1;
    EXPECT_EQ(table->item(0, signer)->text(), QStringLiteral("Oficina Sur")) << "newest first";
    EXPECT_TRUE(table->item(0, signer)->toolTip().contains(QString::fromLatin1(own.fingerprint)));
    EXPECT_EQ(table->item(1, signer)->text(), QStringLiteral("Sin firma"));
    OfficeSigning::configure({});
    OfficeSigning::reset();
}
