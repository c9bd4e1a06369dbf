#include "helper/dbhelper.h"
#include "helper/loginhelper.h"
#include "logindialog.h"
#include "snipestore.h"
#include "support/boxrecorder.h"
#include "support/ebaydouble.h"
#include "support/httpprobe.h"
#include "support/modaldriver.h"
#include "support/readlock.h"
#include "support/testmain.h"
#include "support/teststore.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <memory>

namespace {

using SignIns = QList<QPair<QString, int>>;

// A returning user; a null password is not remembered. Country 19 is the
// United Kingdom, 7 Germany.
int storeUser(const QString& name, const QString& password, int countryId = 19)
{
    QSqlRecord user = DbHelper::emptyRecord(QStringLiteral("users"));
    user.setValue("username", name);
    user.setValue("password", password);
    user.setValue("remember_password", password.isNull() ? 0 : 1);
    user.setValue("country_id", countryId);
    DbHelper::addUser(user);
    return TestStore::value("SELECT id FROM users WHERE username = '" + name + "'").toInt();
}

// As start-up leaves it: stored, and loaded into the application object.
void setAutoLoginUser(int id)
{
    TestStore::exec(QStringLiteral("UPDATE setting SET auto_login_user_id = %1").arg(id));
    QSqlRecord setting = DbHelper::emptyRecord(QStringLiteral("setting"));
    DbHelper::getSetting(setting);
    kApp->setSetting(setting);
}

QString storedPassword(const QString& name)
{
    QSqlRecord user = DbHelper::emptyRecord(QStringLiteral("users"));
    user.setValue("username", name);
    return DbHelper::getUser(user) ? user.value("password").toString() : "<no row>";
}

template <typename W> W* child(QWidget* dialog, const char* name)
{
    return dialog->findChild<W*>(QLatin1String(name));
}

void fill(QWidget* dialog, const QString& user, const QString& password, const QString& site)
{
    child<QComboBox>(dialog, "comboBoxUsername")->setEditText(user);
    child<QLineEdit>(dialog, "lineEditPassword")->setText(password);
    auto* sites = child<QComboBox>(dialog, "comboBoxCountry");
    sites->setCurrentIndex(sites->findText(site));
}

QPushButton* button(QWidget* dialog, QDialogButtonBox::StandardButton which)
{
    return child<QDialogButtonBox>(dialog, "buttonBox")->button(which);
}

// Starts a sign-in (OK by default) and waits until the dialog closed or a
// box was shown.
bool signIn(LoginDialog& dialog, const BoxRecorder& boxes, std::function<void()> start = {})
{
    QSignalSpy finished(&dialog, &QDialog::finished);
    start ? start() : button(&dialog, QDialogButtonBox::Ok)->click();
    for (int i = 0; i < 100 && finished.isEmpty() && boxes.count() == 0; ++i)
        finished.wait(100);
    return !finished.isEmpty() || boxes.count() > 0;
}

} // namespace

class TestLoginDialog : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        HttpProbe::clearCookies();
        kApp->setCountry(QSqlRecord());
        kApp->setLoginUser(QSqlRecord());
    }

    void signsInFirstOnTheHomeSite_data()
    {
        QTest::addColumn<QString>("site");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QList<int>>("progress");
        QTest::addColumn<QStringList>("passes"); // sign-in host / site id of each form
        QTest::addColumn<QStringList>("boxes");

        QTest::newRow("home site: one pass") << "ebay.co.uk"
                                             << "right" << QList<int>{50, 100, 0, 100}
                                             << QStringList{"ebay.co.uk/3"} << QStringList();
        QTest::newRow("another site: a second pass there")
            << "ebay.de"
            << "right" << QList<int>{25, 50, 75, 100, 0, 100}
            << QStringList{"ebay.co.uk/3", "ebay.de/77"} << QStringList();
        QTest::newRow("first pass refused: no second")
            << "ebay.de"
            << "wrong" << QList<int>{25, 50, 0} << QStringList{"ebay.co.uk/3"}
            << QStringList{"Wrong Username or Password."};
    }

    void signsInFirstOnTheHomeSite()
    {
        QFETCH(QString, site);
        QFETCH(QString, password);
        QFETCH(QList<int>, progress);
        QFETCH(QStringList, passes);
        QFETCH(QStringList, boxes);
        EbayDouble dbl;
        dbl.addAccount("alice", "right");
        TestStore store;
        BoxRecorder recorder;
        LoginDialog dialog;
        dialog.show();
        fill(&dialog, "alice", password, site);
        QList<int> seen;
        connect(child<QProgressBar>(&dialog, "progressBar"), &QProgressBar::valueChanged,
                [&seen](int value) { seen << value; });
        QVERIFY(signIn(dialog, recorder));

        QCOMPARE(seen, progress);
        QCOMPARE(recorder.texts(), boxes);
        QStringList sent;
        for (const auto& r : dbl.requests([](const EbayDouble::Request& r) {
                 return r.role == HostConfig::SignIn && r.method == "POST";
             }))
            sent << r.domain + "/" + r.formValue("siteid");
        QCOMPARE(sent, passes);
        QCOMPARE(dialog.isVisible(), !boxes.isEmpty());
        QCOMPARE(kApp->country().value("domain").toString(), boxes.isEmpty() ? site : "");
        QCOMPARE(storedPassword("alice"), boxes.isEmpty() ? QString() : "<no row>");
        if (boxes.isEmpty()) {
            QCOMPARE(kApp->loginUser().value("password").toString(), password);
        } else {
            QVERIFY(button(&dialog, QDialogButtonBox::Ok)->isEnabled());
            // Typing again replaces the password; Enter signs in again.
            auto* field = child<QLineEdit>(&dialog, "lineEditPassword");
            QCOMPARE(dialog.focusWidget(), field);
            QCOMPARE(field->selectedText(), password);
        }
    }

    // Another program holds the data file while a new user signs in: the
    // account has no row to keep a write for, and the person is there. Once
    // the file is free, Enter signs in again rather than pressing Cancel.
    void enterSignsInAgainAfterAFailedSave()
    {
        EbayDouble dbl;
        TestStore store;
        BoxRecorder recorder;
        LoginDialog dialog;
        dialog.show();
        fill(&dialog, "carol", "c", "ebay.co.uk");
        {
            ReadLock lock(DbHelper::databasePath());
            QVERIFY(lock.isHeld());
            QVERIFY(signIn(dialog, recorder));
        }
        QCOMPARE(recorder.texts(), QStringList{"Failed to add user."});
        QVERIFY(dialog.isVisible());
        recorder.clear();
        QVERIFY(signIn(dialog, recorder,
                       [&dialog] { QTest::keyClick(dialog.focusWidget(), Qt::Key_Return); }));
        QCOMPARE(recorder.texts(), QStringList());
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dbl.signIns(), (SignIns{{"carol", 3}, {"carol", 3}}));
    }

    // Another program holds the data file (a backup while the program
    // starts with the desktop): a known user signs in without a box, and
    // what the sign-in changed is kept until the file is free. The
    // automatic sign-in changes nothing and keeps nothing.
    void aHeldFileDoesNotHoldTheSignIn_data()
    {
        QTest::addColumn<bool>("automatic");
        QTest::newRow("another password and site, signed in automatically from now on") << false;
        QTest::newRow("the automatic sign-in") << true;
    }
    void aHeldFileDoesNotHoldTheSignIn()
    {
        QFETCH(bool, automatic);
        EbayDouble dbl;
        TestStore store;
        BoxRecorder recorder;
        const int alice = storeUser("alice", "old");
        setAutoLoginUser(automatic ? alice : 0);
        LoginDialog dialog;
        dialog.setAutoLogin(automatic);
        auto lock = std::make_unique<ReadLock>(DbHelper::databasePath());
        QVERIFY(lock->isHeld());
        QVERIFY(signIn(dialog, recorder, [&] {
            if (automatic) {
                QTimer::singleShot(0, &dialog, [&dialog] { dialog.exec(); });
                return;
            }
            dialog.show();
            fill(&dialog, "alice", "new", "ebay.de");
            child<QCheckBox>(&dialog, "checkBoxAutoLogin")->setChecked(true);
            button(&dialog, QDialogButtonBox::Ok)->click();
        }));
        QCOMPARE(recorder.texts(), QStringList());
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(kApp->loginUser().value("id").toInt(), alice);
        QCOMPARE(kApp->country().value("domain").toString(), automatic ? "ebay.co.uk" : "ebay.de");
        QCOMPARE(SnipeStore::instance()->pendingSignIns(), automatic ? 0 : 2);
        lock.reset();
        QVERIFY(SnipeStore::instance()->storeAll());
        QCOMPARE(storedPassword("alice"), automatic ? "old" : "new");
        QCOMPARE(TestStore::value("SELECT country_id FROM users").toInt(), automatic ? 19 : 7);
        QCOMPARE(TestStore::value("SELECT auto_login_user_id FROM setting").toInt(), alice);
    }

    void remembersAsTicked_data()
    {
        QTest::addColumn<bool>("remember");
        QTest::addColumn<bool>("autoLogin");
        QTest::addColumn<QString>("autoBefore");
        QTest::addColumn<QString>("storedAfter");
        QTest::addColumn<QString>("autoAfter");

        QTest::newRow("remember") << true << false << ""
                                  << "secret"
                                  << "";
        QTest::newRow("unticked remember erases the stored password") << false << false << ""
                                                                      << ""
                                                                      << "";
        QTest::newRow("auto-login ticks remember") << false << true << ""
                                                   << "secret"
                                                   << "alice";
        QTest::newRow("auto-login unticked by its user") << true << false << "alice"
                                                         << "secret"
                                                         << "";
        QTest::newRow("another user's auto-login stays") << true << false << "bob"
                                                         << "secret"
                                                         << "bob";
    }

    void remembersAsTicked()
    {
        QFETCH(bool, remember);
        QFETCH(bool, autoLogin);
        QFETCH(QString, autoBefore);
        QFETCH(QString, storedAfter);
        QFETCH(QString, autoAfter);
        EbayDouble dbl;
        TestStore store;
        BoxRecorder recorder;
        const QHash<QString, int> ids{
            {"", 0}, {"alice", storeUser("alice", "old")}, {"bob", storeUser("bob", "b")}};
        setAutoLoginUser(ids.value(autoBefore));
        LoginDialog dialog;
        dialog.show();
        auto* rememberBox = child<QCheckBox>(&dialog, "checkBoxRemember");
        auto* autoBox = child<QCheckBox>(&dialog, "checkBoxAutoLogin");
        QCOMPARE(autoBox->isChecked(), autoBefore == "alice");
        child<QLineEdit>(&dialog, "lineEditPassword")->setText("secret");
        autoBox->setChecked(autoLogin);
        if (autoLogin)
            QVERIFY(rememberBox->isChecked() && !rememberBox->isEnabled());
        else
            rememberBox->setChecked(remember);
        QVERIFY(signIn(dialog, recorder));

        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(storedPassword("alice"), storedAfter);
        QCOMPARE(kApp->loginUser().value("password").toString(), QStringLiteral("secret"));
        QCOMPARE(TestStore::value("SELECT auto_login_user_id FROM setting").toInt(),
                 ids.value(autoAfter));
        QCOMPARE(kApp->setting().value("auto_login_user_id").toInt(), ids.value(autoAfter));
    }

    // Enter in the user combo signs the typed name in; it is never made an
    // entry without an id (which would empty the password field).
    void typedUserIsSignedInAndListedAfter()
    {
        EbayDouble dbl;
        TestStore store;
        BoxRecorder recorder;
        storeUser("alice", "a");
        storeUser("dave", "d");
        {
            LoginDialog dialog;
            dialog.show();
            fill(&dialog, "carol", "c", "ebay.co.uk");
            // A new user's box, not alice's tick carried over.
            child<QCheckBox>(&dialog, "checkBoxRemember")->setChecked(true);
            auto* edit = child<QComboBox>(&dialog, "comboBoxUsername")->lineEdit();
            QVERIFY(signIn(dialog, recorder, [edit] { QTest::keyClick(edit, Qt::Key_Return); }));
            QCOMPARE(recorder.texts(), QStringList());
        }
        QCOMPARE(dbl.signIns(), (SignIns{{"carol", 3}}));
        QCOMPARE(storedPassword("carol"), QStringLiteral("c"));
        QCOMPARE(kApp->loginUser().value("username").toString(), QStringLiteral("carol"));
        QVERIFY(kApp->loginUser().value("id").toInt() > 0);
        LoginDialog later;
        auto* users = child<QComboBox>(&later, "comboBoxUsername");
        QCOMPARE(users->count(), 3);
        QCOMPARE(users->itemText(1), QStringLiteral("carol"));
    }

    // A remembered password belongs to its account: a user id typed over
    // the chosen one is a new user's, until that name is typed back.
    void typedUserGetsNoRememberedPassword()
    {
        TestStore store;
        setAutoLoginUser(storeUser("alice", "pa"));
        LoginDialog dialog;
        QLineEdit* name = child<QComboBox>(&dialog, "comboBoxUsername")->lineEdit();
        QStringList shown; // password and ticks after each name typed
        for (const char* typed : {"mallory", "alice"}) {
            name->selectAll();
            QTest::keyClicks(name, QLatin1String(typed));
            shown << child<QLineEdit>(&dialog, "lineEditPassword")->text() +
                         QString::number(
                             child<QCheckBox>(&dialog, "checkBoxRemember")->isChecked()) +
                         QString::number(
                             child<QCheckBox>(&dialog, "checkBoxAutoLogin")->isChecked());
        }
        QCOMPARE(shown, (QStringList{"00", "pa11"}));
    }

    void automaticSignIn_data()
    {
        QTest::addColumn<bool>("users");
        QTest::addColumn<bool>("autoLogin");
        QTest::addColumn<int>("autoUser"); // 1: bob, else that id
        QTest::addColumn<QString>("bobsPassword");
        QTest::addColumn<QString>("shown"); // user / site while the modal loop runs
        QTest::addColumn<QStringList>("boxes");

        QTest::newRow("before the modal loop") << true << true << 1 << "pw"
                                               << "" << QStringList();
        QTest::newRow("off when logging out") << true << false << 1 << "pw"
                                              << "bob/ebay.de" << QStringList();
        QTest::newRow("remembered password empty")
            << true << true << 1 << ""
            << "bob/ebay.de" << QStringList{"Please enter your Password."};
        QTest::newRow("no automatic user") << true << true << 0 << "pw"
                                           << "alice/ebay.co.uk" << QStringList();
        QTest::newRow("user not listed") << true << true << 99 << "pw"
                                         << "alice/ebay.co.uk" << QStringList();
        QTest::newRow("no stored users") << false << true << 0 << ""
                                         << "/ebay.com" << QStringList();
    }

    void automaticSignIn()
    {
        QFETCH(bool, users);
        QFETCH(bool, autoLogin);
        QFETCH(int, autoUser);
        QFETCH(QString, bobsPassword);
        QFETCH(QString, shown);
        QFETCH(QStringList, boxes);
        EbayDouble dbl;
        TestStore store;
        BoxRecorder recorder;
        if (users) {
            storeUser("alice", "pa");
            autoUser = autoUser == 1 ? storeUser("bob", bobsPassword, 7) : autoUser;
        }
        setAutoLoginUser(autoUser);
        LoginDialog dialog;
        dialog.setAutoLogin(autoLogin);
        ModalDriver driver;
        if (!shown.isEmpty()) {
            driver.onNext<LoginDialog>([&](LoginDialog* up) {
                QCOMPARE(child<QComboBox>(up, "comboBoxUsername")->currentText() + "/" +
                             child<QComboBox>(up, "comboBoxCountry")->currentText(),
                         shown);
                QCOMPARE(recorder.texts(), boxes);
                QCOMPARE(dbl.requests(HostConfig::SignIn).size(), 0);
                // The cursor waits where typing starts.
                QTRY_VERIFY(up->focusWidget());
                QCOMPARE(up->focusWidget()->objectName(),
                         boxes.isEmpty() ? "comboBoxUsername" : "lineEditPassword");
                up->reject();
            });
        }
        QCOMPARE(dialog.exec(), int(shown.isEmpty()));
        QVERIFY(driver.allDone());
        if (shown.isEmpty())
            QCOMPARE(dbl.signIns(), (SignIns{{"bob", 3}, {"bob", 77}}));
    }

    // Cancel while a pass runs: its late answer signs nobody in.
    void cancelledWhileSigningIn()
    {
        EbayDouble dbl;
        dbl.script(EbayDouble::Rule(HostConfig::SignIn).whereMethod("POST").delayed(300));
        TestStore store;
        LoginDialog dialog;
        dialog.show();
        fill(&dialog, "erin", "e", "ebay.co.uk");
        QSignalSpy passEnded(dialog.findChild<LoginHelper*>(), &LoginHelper::loginStep2Finished);
        button(&dialog, QDialogButtonBox::Ok)->click();
        QVERIFY(
            dbl.waitForRequest([](const EbayDouble::Request& r) { return r.method == "POST"; }));
        button(&dialog, QDialogButtonBox::Cancel)->click();
        QVERIFY(passEnded.wait(5000));
        QCOMPARE(passEnded.first().first().toBool(), true);
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QCOMPARE(storedPassword("erin"), QStringLiteral("<no row>"));
    }
};

KESTROVA_TEST_MAIN(TestLoginDialog)
#include "test_logindialog.moc"
