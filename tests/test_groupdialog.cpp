#include "editgroupdialog.h"
#include "groupdialog.h"
#include "helper/dbhelper.h"
#include "support/boxrecorder.h"
#include "support/modaldriver.h"
#include "support/readlock.h"
#include "support/snipescene.h"
#include "support/testmain.h"

#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>

namespace {

// "name:maximum" per row, as the dialog's table shows them.
QStringList shown(GroupDialog& dialog)
{
    auto* table = dialog.findChild<QTableWidget*>();
    QStringList rows;
    for (int row = 0; row < table->rowCount(); ++row)
        rows << table->item(row, 0)->text() + QLatin1Char(':') + table->item(row, 1)->text();
    return rows;
}

// The same for the signed-in user's groups in the store.
QStringList stored()
{
    QStringList rows;
    const QVariantList groups = TestStore::column(
        QStringLiteral("SELECT name || ':' || max_won FROM groups WHERE user_id = %1")
            .arg(kApp->loginUser().value(QStringLiteral("id")).toInt()));
    for (const QVariant& group : groups)
        rows << group.toString();
    return rows;
}

QStringList sorted(QStringList rows)
{
    rows.sort(Qt::CaseInsensitive);
    return rows;
}

void press(QWidget* dialog, const char* button, const QList<int>& rows = {})
{
    auto* table = dialog->findChild<QTableWidget*>();
    for (const int row : rows) // also several, which a user cannot select
        table->selectionModel()->select(table->model()->index(row, 0),
                                        QItemSelectionModel::Select | QItemSelectionModel::Rows);
    dialog->findChild<QPushButton*>(QLatin1String(button))->click();
}

} // namespace

class TestGroupDialog : public QObject
{
    Q_OBJECT

private:
    TestStore* store = nullptr;

private slots:
    void init()
    {
        store = new TestStore;
        QVERIFY(store->isReady());
        TestStore::addGroup(TestStore::addUser(QStringLiteral("alice")), QStringLiteral("Al's"));
        const int bob = TestStore::addUser(QStringLiteral("bob"));
        SnipeScene::signInAs(bob);
        TestStore::addGroup(bob, QStringLiteral("lenses"), 2);
        TestStore::addGroup(bob, QStringLiteral("Cameras"), 3);
        TestStore::exec(QStringLiteral("UPDATE groups SET current_won = 1 WHERE name = 'lenses'"));
    }
    void cleanup() { delete store; }

    void addAndEdit_data()
    {
        QTest::addColumn<int>("row"); // -1 adds a group
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("box");
        QTest::addColumn<QStringList>("table"); // after the editor has closed
        QTest::newRow("add") << -1 << "  Bodies "
                             << "" << QStringList{"Cameras:3", "lenses:2", "Bodies:5"};
        QTest::newRow("add, other user's name")
            << -1 << "al's"
            << "" << QStringList{"Cameras:3", "lenses:2", "al's:5"};
        QTest::newRow("add blank") << -1 << "  "
                                   << "Empty Group Name" << QStringList{"Cameras:3", "lenses:2"};
        QTest::newRow("add, other case")
            << -1 << "CAMERAS"
            << "Duplicated Group Name" << QStringList{"Cameras:3", "lenses:2"};
        QTest::newRow("edit") << 1 << "Zooms"
                              << "" << QStringList{"Cameras:3", "Zooms:5"};
        QTest::newRow("edit, own name") << 1 << "LENSES"
                                        << "" << QStringList{"Cameras:3", "LENSES:5"};
        QTest::newRow("edit to another's")
            << 1 << "cameras"
            << "Duplicated Group Name" << QStringList{"Cameras:3", "lenses:2"};
    }
    void addAndEdit()
    {
        QFETCH(int, row);
        QFETCH(QString, name);
        QFETCH(QString, box);
        QFETCH(QStringList, table);
        BoxRecorder boxes;
        GroupDialog dialog;
        ModalDriver driver;
        bool refocused = false;
        driver.onNext<EditGroupDialog>([&](EditGroupDialog* editor) {
            QCOMPARE(editor->name(), row < 0 ? QString() : QStringLiteral("lenses"));
            editor->findChild<QLineEdit*>()->setText(name);
            editor->findChild<QSpinBox*>()->setValue(5);
            editor->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
            if (editor->isVisible()) { // refused: still open, back at the name
                refocused = editor->focusWidget() == editor->findChild<QLineEdit*>();
                editor->reject();
            }
        });
        press(&dialog, row < 0 ? "pushButtonAdd" : "pushButtonEdit",
              row < 0 ? QList<int>() : QList<int>{row});
        QVERIFY2(driver.allDone(), qPrintable(driver.failures().join(';')));
        QCOMPARE(boxes.titles(), box.isEmpty() ? QStringList() : QStringList{box});
        QCOMPARE(refocused, !box.isEmpty());
        QCOMPARE(shown(dialog), table);
        QCOMPARE(sorted(stored()), sorted(table));
        QCOMPARE(TestStore::value(QStringLiteral("SELECT SUM(current_won) FROM groups")),
                 QVariant(1));
    }

    // Another program holds the file until 1 s after OK: the dialog waits
    // with its write, its buttons disabled (Escape does not close it), then
    // shows the group added, the focus back where it was.
    void addWaitsForAHeldFile()
    {
        GroupDialog dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        auto* add = dialog.findChild<QPushButton*>("pushButtonAdd");
        add->setFocus();
        ReadLock lock(DbHelper::databasePath());
        lock.releaseAfter(1000);
        ModalDriver driver;
        driver.onNext<EditGroupDialog>([](EditGroupDialog* editor) {
            editor->findChild<QLineEdit*>()->setText("Bodies");
            editor->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
        });
        add->click();
        QVERIFY(driver.allDone());
        QVERIFY(!add->isEnabled());
        dialog.reject();
        QVERIFY(dialog.isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(add->isEnabled(), 3000);
        QCOMPARE(shown(dialog), (QStringList{"Cameras:3", "lenses:2", "Bodies:1"}));
        QCOMPARE(dialog.focusWidget(), add);
    }

    void editWantsASelection()
    {
        BoxRecorder boxes;
        GroupDialog dialog;
        press(&dialog, "pushButtonEdit");
        QCOMPARE(boxes.texts(), QStringList{"Select a group to edit."});
    }

    // A long name is shown cut: the maximum stays in view.
    void longNameLeavesTheMaximumInView()
    {
        TestStore::addGroup(kApp->loginUser().value("id").toInt(),
                            QStringLiteral("Swiss watches ").repeated(7).left(87));
        GroupDialog dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        auto* table = dialog.findChild<QTableWidget*>();
        QVERIFY(table->visualRect(table->model()->index(2, 1)).right() <
                table->viewport()->width());
    }

    void deleteGroups_data()
    {
        QTest::addColumn<QList<int>>("rows");
        QTest::addColumn<QString>("refusal"); // the store's, when it refuses
        QTest::addColumn<QStringList>("boxes");
        QTest::addColumn<QStringList>("left");
        const QString sure = QStringLiteral("Are you sure you want to delete the selected group?");
        QTest::newRow("one") << QList<int>{1} << "" << QStringList{sure}
                             << QStringList{"Cameras:3"};
        QTest::newRow("several") << QList<int>{0, 1} << "" << QStringList{sure} << QStringList();
        QTest::newRow("none selected")
            << QList<int>() << "" << QStringList{"Select a group to delete."}
            << QStringList{"Cameras:3", "lenses:2"};
        QTest::newRow("refused") << QList<int>{0} << "disk full"
                                 << QStringList{sure, "Failed to delete group."}
                                 << QStringList{"Cameras:3", "lenses:2"};
    }
    void deleteGroups()
    {
        QFETCH(QList<int>, rows);
        QFETCH(QString, refusal);
        QFETCH(QStringList, boxes);
        QFETCH(QStringList, left);
        const int item = TestStore::addItem(
            kApp->loginUser().value("id").toInt(), QStringLiteral("1"),
            QDateTime::currentDateTimeUtc(),
            {{"group_id", TestStore::value("SELECT id FROM groups WHERE name = 'lenses'")}});
        if (!refusal.isEmpty())
            TestStore::exec(QStringLiteral("CREATE TRIGGER refuse BEFORE DELETE ON groups BEGIN "
                                           "SELECT RAISE(ABORT, '%1'); END")
                                .arg(refusal));
        BoxRecorder recorder;
        recorder.answer(QMessageBox::Cancel);
        GroupDialog dialog;
        press(&dialog, "pushButtonDelete", rows);
        press(&dialog, "pushButtonDelete");
        QCOMPARE(recorder.count(), boxes.size() + 1); // the first was cancelled
        for (int i = 0; i < boxes.size(); ++i)
            QVERIFY2(recorder.boxes().at(i + 1).request.text.startsWith(boxes.at(i)),
                     qPrintable(recorder.texts().join('|')));
        QVERIFY(recorder.last().request.text.contains(refusal));
        QCOMPARE(shown(dialog), left);
        QCOMPARE(sorted(stored()), left);
        // Items of a deleted group stay, out of any group.
        QCOMPARE(SnipeScene::column(item, "group_id").isNull(), !left.join(',').contains("lenses"));
    }
};

KESTROVA_TEST_MAIN(TestGroupDialog)
#include "test_groupdialog.moc"
