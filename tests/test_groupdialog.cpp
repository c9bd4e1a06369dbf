#include "editgroupdialog.h"
#include "groupdialog.h"
#include "support/boxrecorder.h"
#include "support/modaldriver.h"
#include "support/snipescene.h"
#include "support/testmain.h"

#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>

namespace {

// What the dialog's table shows, "name:maximum" per row, top to bottom.
QStringList shown(GroupDialog& dialog)
{
    auto* table = dialog.findChild<QTableWidget*>(QStringLiteral("tableWidget"));
    QStringList rows;
    for (int row = 0; row < table->rowCount(); ++row)
        rows << table->item(row, 0)->text() + QLatin1Char(':') + table->item(row, 1)->text();
    return rows;
}

// The user's groups as the store holds them, by name.
QStringList stored(int userId)
{
    QStringList rows;
    const QList<QVariantMap> groups = TestStore::rows(
        QStringLiteral("SELECT name, max_won FROM groups WHERE user_id = %1 ORDER BY name")
            .arg(userId));
    for (const QVariantMap& group : groups)
        rows << group.value(QStringLiteral("name")).toString() + QLatin1Char(':') +
                    group.value(QStringLiteral("max_won")).toString();
    return rows;
}

void click(QWidget& dialog, const char* button)
{
    dialog.findChild<QPushButton*>(QLatin1String(button))->click();
}

void selectRows(GroupDialog& dialog, const QList<int>& rows)
{
    auto* table = dialog.findChild<QTableWidget*>(QStringLiteral("tableWidget"));
    for (const int row : rows)
        table->selectionModel()->select(table->model()->index(row, 0),
                                        QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

// Fills the editor and presses OK.
std::function<void(EditGroupDialog*)> fill(const QString& name, int maxWon)
{
    return [name, maxWon](EditGroupDialog* editor) {
        editor->findChild<QLineEdit*>(QStringLiteral("lineEditName"))->setText(name);
        editor->findChild<QSpinBox*>(QStringLiteral("spinBoxMaxWon"))->setValue(maxWon);
        editor->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    };
}

} // namespace

class TestGroupDialog : public QObject
{
    Q_OBJECT

private:
    TestStore* store = nullptr;
    int bob = 0;

private slots:
    void init()
    {
        store = new TestStore;
        QVERIFY(store->isReady());
        bob = TestStore::addUser(QStringLiteral("bob"));
        SnipeScene::signInAs(bob);
        const int alice = TestStore::addUser(QStringLiteral("alice"));
        TestStore::addGroup(alice, QStringLiteral("Alice's"), 4);
        TestStore::addGroup(bob, QStringLiteral("lenses"), 2);
        TestStore::addGroup(bob, QStringLiteral("Cameras"), 3);
    }
    void cleanup()
    {
        delete store;
        kApp->setLoginUser(QSqlRecord());
    }

    void listsTheUsersGroupsByName()
    {
        GroupDialog dialog;
        QCOMPARE(shown(dialog), (QStringList{"Cameras:3", "lenses:2"}));
        dialog.resize(dialog.size());
        QVERIFY(dialog.grab().save(QStringLiteral("/tmp/kestrova_groupdialog.png")));
    }

    void addAppendsTheStoredGroup()
    {
        BoxRecorder boxes;
        GroupDialog dialog;
        ModalDriver driver;
        driver.onNext<EditGroupDialog>([](EditGroupDialog* editor) {
            editor->setName(QStringLiteral("Bodies"));
            editor->setMaxWon(99);
            QVERIFY(editor->grab().save(QStringLiteral("/tmp/kestrova_editgroupdialog.png")));
            fill(QStringLiteral("  Bodies "), 5)(editor);
        });
        click(dialog, "pushButtonAdd");
        QVERIFY2(driver.allDone(), qPrintable(driver.failures().join(';')));
        QCOMPARE(boxes.count(), 0);
        QCOMPARE(shown(dialog), (QStringList{"Cameras:3", "lenses:2", "Bodies:5"}));
        QCOMPARE(stored(bob), (QStringList{"Bodies:5", "Cameras:3", "lenses:2"}));
    }

    void editorRefusesEmptyAndDuplicatedNames_data()
    {
        QTest::addColumn<int>("row"); // -1 adds a new group
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("title");
        QTest::newRow("blank") << -1 << "   "
                               << "Empty Group Name";
        QTest::newRow("new, other case") << -1 << "CAMERAS"
                                         << "Duplicated Group Name";
        QTest::newRow("rename to another") << 1 << "cameras"
                                           << "Duplicated Group Name";
        QTest::newRow("another user's name") << -1 << "Alice's"
                                             << "";
        QTest::newRow("own name, other case") << 1 << "LENSES"
                                              << "";
    }
    void editorRefusesEmptyAndDuplicatedNames()
    {
        QFETCH(int, row);
        QFETCH(QString, name);
        QFETCH(QString, title);
        BoxRecorder boxes;
        GroupDialog dialog;
        ModalDriver driver;
        driver.onNext<EditGroupDialog>(fill(name, 1));
        bool stayedOpen = false;
        if (!title.isEmpty()) {
            driver.onNext<EditGroupDialog>([&stayedOpen](EditGroupDialog* editor) {
                auto* field = editor->findChild<QLineEdit*>(QStringLiteral("lineEditName"));
                stayedOpen = editor->focusWidget() == field;
                editor->reject();
            });
        }
        if (row < 0) {
            click(dialog, "pushButtonAdd");
        } else {
            selectRows(dialog, {row});
            click(dialog, "pushButtonEdit");
        }
        QVERIFY2(driver.allDone(), qPrintable(driver.failures().join(';')));
        QCOMPARE(boxes.titles(), title.isEmpty() ? QStringList() : QStringList{title});
        QCOMPARE(stayedOpen, !title.isEmpty());
    }

    void editChangesNameAndMaximumButNotTheWinCount()
    {
        const int id = TestStore::value(QStringLiteral("SELECT id FROM groups WHERE name = "
                                                       "'lenses'"))
                           .toInt();
        TestStore::exec(QStringLiteral("UPDATE groups SET current_won = 1 WHERE id = %1").arg(id));
        BoxRecorder boxes;
        GroupDialog dialog;
        ModalDriver driver;
        driver.onNext<EditGroupDialog>([](EditGroupDialog* editor) {
            QCOMPARE(editor->name(), QStringLiteral("lenses"));
            QCOMPARE(editor->maxWon(), 2);
            fill(QStringLiteral("Zooms"), 7)(editor);
        });
        auto* table = dialog.findChild<QTableWidget*>(QStringLiteral("tableWidget"));
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        const QPoint cell = table->visualItemRect(table->item(1, 1)).center();
        QTest::mouseClick(table->viewport(), Qt::LeftButton, Qt::NoModifier, cell);
        QTest::mouseDClick(table->viewport(), Qt::LeftButton, Qt::NoModifier, cell);
        QVERIFY2(driver.allDone(), qPrintable(driver.failures().join(';')));
        QCOMPARE(boxes.count(), 0);
        QCOMPARE(shown(dialog), (QStringList{"Cameras:3", "Zooms:7"}));
        QCOMPARE(stored(bob), (QStringList{"Cameras:3", "Zooms:7"}));
        QCOMPARE(TestStore::value(
                     QStringLiteral("SELECT current_won FROM groups WHERE id = %1").arg(id)),
                 QVariant(1));
    }

    void deleteRemovesTheSelectedGroups_data()
    {
        QTest::addColumn<QList<int>>("rows");
        QTest::addColumn<QStringList>("left");
        QTest::newRow("one") << QList<int>{0} << QStringList{"lenses:2"};
        QTest::newRow("several") << QList<int>{0, 1} << QStringList();
    }
    void deleteRemovesTheSelectedGroups()
    {
        QFETCH(QList<int>, rows);
        QFETCH(QStringList, left);
        const int item = TestStore::addItem(
            bob, QStringLiteral("1"), QDateTime::currentDateTimeUtc().addDays(1),
            {{QStringLiteral("group_id"),
              TestStore::value(QStringLiteral("SELECT id FROM groups WHERE name = 'Cameras'"))}});
        BoxRecorder boxes;
        GroupDialog dialog;
        selectRows(dialog, rows);
        boxes.answer(QMessageBox::Cancel);
        click(dialog, "pushButtonDelete");
        QCOMPARE(stored(bob).size(), 2);
        click(dialog, "pushButtonDelete");
        QCOMPARE(boxes.texts(),
                 (QStringList{"Are you sure you want to delete the selected group?",
                              "Are you sure you want to delete the selected group?"}));
        QCOMPARE(stored(bob), left);
        QCOMPARE(shown(dialog), left);
        // The items stay, out of the group.
        QVERIFY(SnipeScene::column(item, QStringLiteral("group_id")).isNull());
    }

    void editAndDeleteWantASelection_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("text");
        QTest::newRow("edit") << "pushButtonEdit"
                              << "Edit Group"
                              << "Select a group to edit.";
        QTest::newRow("delete") << "pushButtonDelete"
                                << "Delete Group"
                                << "Select a group to delete.";
    }
    void editAndDeleteWantASelection()
    {
        QFETCH(QString, button);
        QFETCH(QString, title);
        QFETCH(QString, text);
        BoxRecorder boxes;
        GroupDialog dialog;
        click(dialog, qPrintable(button));
        QCOMPARE(boxes.titles(), QStringList{title});
        QCOMPARE(boxes.texts(), QStringList{text});
        QCOMPARE(stored(bob), (QStringList{"Cameras:3", "lenses:2"}));
    }

    void storeFailuresAreShownAndTheTableKeepsWhatIsStored_data()
    {
        QTest::addColumn<QString>("statement"); // the one the store refuses
        QTest::addColumn<QString>("text");
        QTest::newRow("add") << "INSERT"
                             << "Failed to add group.";
        QTest::newRow("edit") << "UPDATE"
                              << "Failed to update group.";
        QTest::newRow("delete") << "DELETE"
                                << "Failed to delete group.";
    }
    void storeFailuresAreShownAndTheTableKeepsWhatIsStored()
    {
        QFETCH(QString, statement);
        QFETCH(QString, text);
        QVERIFY(TestStore::exec(QStringLiteral("CREATE TRIGGER refuse BEFORE %1 ON groups BEGIN "
                                               "SELECT RAISE(ABORT, 'disk says no'); END")
                                    .arg(statement)));
        BoxRecorder boxes;
        GroupDialog dialog;
        ModalDriver driver;
        driver.onNext<EditGroupDialog>(fill(QStringLiteral("Flashes"), 4));
        selectRows(dialog, {0});
        if (statement == QLatin1String("INSERT"))
            click(dialog, "pushButtonAdd");
        else if (statement == QLatin1String("UPDATE"))
            click(dialog, "pushButtonEdit");
        else
            click(dialog, "pushButtonDelete");
        QCOMPARE(boxes.last().request.title, QStringLiteral("Database Error"));
        QVERIFY2(boxes.last().request.text.startsWith(text), qPrintable(boxes.last().request.text));
        if (statement == QLatin1String("DELETE"))
            QVERIFY(boxes.last().request.text.contains(QLatin1String("disk says no")));
        QCOMPARE(stored(bob), (QStringList{"Cameras:3", "lenses:2"}));
        QCOMPARE(shown(dialog), stored(bob));
    }
};

KESTROVA_TEST_MAIN(TestGroupDialog)
#include "test_groupdialog.moc"
