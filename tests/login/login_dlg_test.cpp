// The login dialog's controls, its More/Less states and the server box.
#include "login/login_dlg.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest/QtTest>

#include "app/endpoints.h"
#include "login/qt_login_dialog.h"
#include "support/fakes.h"
#include "ui/progress_dlg.h"

namespace {

const QString kDefaultHost = QStringLiteral("chat.default.test");
const QString kRegistration = QStringLiteral("http://web.test/ch/user/");

class LoginDlgTest : public ::testing::Test {
protected:
    QString ServerList(const QByteArray& content) {
        const QString path = dir.filePath(QStringLiteral("server.cfg"));
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(content);
        return path;
    }
    QString Missing() { return dir.filePath(QStringLiteral("no/server.cfg")); }
    std::unique_ptr<CLoginDlg> Make(const QString& serverList) {
        return std::make_unique<CLoginDlg>(kDefaultHost, serverList, kRegistration, desktop);
    }
    static QWidget* Child(QWidget& dlg, const char* name) {
        return dlg.findChild<QWidget*>(QLatin1String(name), Qt::FindDirectChildrenOnly);
    }
    static QStringList Entries(const QComboBox* box) {
        QStringList out;
        for (int i = 0; i < box->count(); ++i) out << box->itemText(i);
        return out;
    }

    QTemporaryDir dir;
    FakeDesktop desktop;
};

TEST_F(LoginDlgTest, EveryControlIsNamedAndBehavesAsItsTemplateSays) {
    auto dlg = Make(Missing());
    const auto children = dlg->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
    EXPECT_EQ(children.size(), 16);
    for (QWidget* w : children) {
        EXPECT_FALSE(w->objectName().isEmpty());
        EXPECT_FALSE(w->accessibleName().isEmpty()) << w->objectName().toStdString();
        if (auto* label = qobject_cast<QLabel*>(w)) {
            if (label->pixmap().isNull()) {
                EXPECT_EQ(label->textFormat(), Qt::PlainText);
            }
        }
    }
    EXPECT_EQ(dlg->passwordEdit()->echoMode(), QLineEdit::Password);
    EXPECT_TRUE(qobject_cast<QPushButton*>(Child(*dlg, "okButton"))->isDefault());
    EXPECT_TRUE(dlg->serverCombo()->isEditable());
    EXPECT_FALSE(qobject_cast<QLabel*>(Child(*dlg, "iconLabel"))->pixmap().isNull());
}

TEST_F(LoginDlgTest, OpensCollapsedAndTogglesAtTheMarkers) {
    auto dlg = Make(Missing());
    QWidget* collapsed = Child(*dlg, "collapsedMarker");
    QWidget* expanded = Child(*dlg, "expandedMarker");
    ASSERT_TRUE(collapsed && expanded);
    QWidget* serverLabel = Child(*dlg, "serverLabel");
    const int fullHeight = dlg->height();

    auto expectCollapsed = [&] {
        EXPECT_EQ(dlg->moreLessButton()->text(), QStringLiteral("&More>>"));
        EXPECT_EQ(dlg->height(), collapsed->y());
        EXPECT_LT(dlg->height(), dlg->serverCombo()->y());
        EXPECT_FALSE(dlg->serverCombo()->isEnabled());
        EXPECT_FALSE(serverLabel->isEnabled());
        EXPECT_FALSE(expanded->isEnabled());
        EXPECT_TRUE(dlg->userNameEdit()->isEnabled());
        EXPECT_TRUE(dlg->moreLessButton()->isEnabled());
        EXPECT_TRUE(collapsed->isEnabled());
    };
    auto expectExpanded = [&] {
        EXPECT_EQ(dlg->moreLessButton()->text(), QStringLiteral("<<&Less"));
        EXPECT_EQ(dlg->height(), expanded->y());
        EXPECT_GT(dlg->height(), dlg->serverCombo()->y());
        EXPECT_LE(dlg->height(), fullHeight);
        EXPECT_TRUE(dlg->serverCombo()->isEnabled());
        EXPECT_TRUE(serverLabel->isEnabled());
        EXPECT_TRUE(expanded->isEnabled());
    };

    dlg->OnInitDialog();
    {
        SCOPED_TRACE("opened");
        expectCollapsed();
    }
    QTest::mouseClick(dlg->moreLessButton(), Qt::LeftButton);
    {
        SCOPED_TRACE("one press");
        expectExpanded();
    }
    QTest::mouseClick(dlg->moreLessButton(), Qt::LeftButton);
    {
        SCOPED_TRACE("two presses");
        expectCollapsed();
    }
    // Left expanded, the next showing starts collapsed again.
    QTest::mouseClick(dlg->moreLessButton(), Qt::LeftButton);
    dlg->OnInitDialog();
    {
        SCOPED_TRACE("reopened");
        expectCollapsed();
    }
}

TEST_F(LoginDlgTest, ServerBoxIsSortedWithTheFirstEntrySelected) {
    struct Case {
        const char* what;
        QByteArray file;
        QStringList entries;
    };
    const Case cases[] = {
        {"beta then alpha", "beta\r\nalpha\r\n", {QStringLiteral("alpha"), QStringLiteral("beta")}},
        {"case ignored", "gamma\r\nBeta\r\nalpha", {"alpha", "Beta", "gamma"}},
        {"bare line feeds", "b.example\nA.example\n", {"A.example", "b.example"}},
        {"empty line kept", "zeta\r\n\r\nmu\r\n", {"", "mu", "zeta"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto dlg = Make(ServerList(c.file));
        dlg->m_server = QStringLiteral("typed.earlier");
        dlg->OnInitDialog();
        EXPECT_EQ(Entries(dlg->serverCombo()), c.entries);
        EXPECT_EQ(dlg->serverCombo()->currentText(), c.entries.first());
        // While collapsed OK still takes the hidden box's text.
        dlg->accept();
        EXPECT_EQ(dlg->m_server, c.entries.first());
    }
}

TEST_F(LoginDlgTest, MissingServerListGivesTheDefaultHost) {
    auto dlg = Make(Missing());
    dlg->OnInitDialog();
    EXPECT_EQ(Entries(dlg->serverCombo()), QStringList{kDefaultHost});
    dlg->accept();
    EXPECT_EQ(dlg->m_server, kDefaultHost);
}

TEST_F(LoginDlgTest, OkTakesTheControlsAndCancelKeepsTheMembers) {
    auto dlg = Make(ServerList("alpha\r\n"));
    dlg->m_userName = QStringLiteral("mia");
    dlg->m_password = QStringLiteral("pw");
    dlg->m_savePassword = true;
    dlg->OnInitDialog();
    EXPECT_EQ(dlg->userNameEdit()->text(), QStringLiteral("mia"));
    EXPECT_EQ(dlg->passwordEdit()->text(), QStringLiteral("pw"));
    EXPECT_TRUE(dlg->savePasswordCheck()->isChecked());

    dlg->userNameEdit()->setText(QStringLiteral("changed"));
    dlg->reject();
    EXPECT_EQ(dlg->m_userName, QStringLiteral("mia"));

    dlg->OnInitDialog();
    dlg->userNameEdit()->setText(QStringLiteral("nora"));
    dlg->passwordEdit()->setText(QStringLiteral(" p w "));
    dlg->savePasswordCheck()->setChecked(false);
    dlg->serverCombo()->setEditText(QStringLiteral("not.listed.example"));
    dlg->accept();
    EXPECT_EQ(dlg->m_userName, QStringLiteral("nora"));
    EXPECT_EQ(dlg->m_password, QStringLiteral(" p w "));
    EXPECT_FALSE(dlg->m_savePassword);
    EXPECT_EQ(dlg->m_server, QStringLiteral("not.listed.example"));
}

TEST_F(LoginDlgTest, RegistrationOpensThePageAndTheDialogStays) {
    auto dlg = Make(Missing());
    dlg->OnInitDialog();
    dlg->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dlg.get()));
    QTest::mouseClick(dlg->registrationButton(), Qt::LeftButton);
    EXPECT_EQ(desktop.opened, QStringList{kRegistration});
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_EQ(dlg->result(), 0);
}

TEST_F(LoginDlgTest, RealDialogKeepsTypedValuesAcrossShowings) {
    Endpoints endpoints;
    endpoints.chatHost = kDefaultHost;
    endpoints.webUrl = QStringLiteral("http://web.test");
    QtLoginDialog seam(endpoints, ServerList("beta\r\nalpha\r\n"), desktop);
    CLoginDlg& dlg = seam.dialog();

    // Answers the modal dialog from the event loop; a guard rejects it if nothing did.
    auto answer = [&](std::function<void()> act) {
        QTimer::singleShot(0, &dlg, act);
        QTimer::singleShot(5000, &dlg, &QDialog::reject);
    };

    LoginDialogData data;
    data.userName = QStringLiteral("olga");
    data.password = QStringLiteral("pw");
    data.savePassword = true;
    QString shownName;
    bool shownChecked = false;
    answer([&] {
        shownName = dlg.userNameEdit()->text();
        shownChecked = dlg.savePasswordCheck()->isChecked();
        dlg.passwordEdit()->setText(QStringLiteral("pw2"));
        QTest::mouseClick(dlg.findChild<QPushButton*>(QStringLiteral("okButton")), Qt::LeftButton);
    });
    ASSERT_TRUE(seam.Run(data));
    EXPECT_EQ(shownName, QStringLiteral("olga"));
    EXPECT_TRUE(shownChecked);
    EXPECT_EQ(data.password, QStringLiteral("pw2"));
    EXPECT_EQ(data.server, QStringLiteral("alpha"));

    // Cancel leaves the values as they were.
    answer([&] {
        dlg.userNameEdit()->setText(QStringLiteral("other"));
        QTest::mouseClick(dlg.findChild<QPushButton*>(QStringLiteral("cancelButton")),
                          Qt::LeftButton);
    });
    EXPECT_FALSE(seam.Run(data));
    EXPECT_EQ(data.userName, QStringLiteral("olga"));
    EXPECT_EQ(data.password, QStringLiteral("pw2"));
}

TEST(ProgressDlg, ShowsItsTextOnlyOnceShown) {
    CProgressDlg progress(QStringLiteral("Updating Channel List...."));
    EXPECT_EQ(progress.textEdit()->toPlainText(), QStringLiteral("Updating Channel List...."));
    EXPECT_FALSE(progress.isVisible());
    EXPECT_FALSE(progress.windowFlags() & Qt::WindowTitleHint);
    progress.Show();
    EXPECT_TRUE(progress.isVisible());
    EXPECT_FALSE(progress.isModal());
    progress.End();
    EXPECT_FALSE(progress.isVisible());
}

}  // namespace
