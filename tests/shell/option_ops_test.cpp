// The option dialog, the settings it writes, the web pages and the help topic.
#include "shell/option_ops.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QPushButton>
#include <QSettings>
#include <QTest>

#include "app/settings_store.h"
#include "shell/option_dlg.h"
#include "support/test_window.h"

namespace {

TEST(Options, OkWritesAllFourSettingsEvenWithoutSavePassword) {
    TestWindow t;
    t.w().SetSoundOn(true);
    t.w().SetIdentity(QStringLiteral("alice"), QStringLiteral("s3cret"));
    ASSERT_TRUE(t.settings->CreateUserKey());
    ASSERT_TRUE(t.settings->WriteNumber(QStringLiteral("psave"), 1));
    bool sawInitial = false;
    OptionOps ops(t.w(), [&](COptionDlg& dlg) {
        dlg.show();
        sawInitial = dlg.soundBox()->isChecked() && dlg.savePasswordBox()->isChecked();
        dlg.soundBox()->setChecked(false);
        dlg.savePasswordBox()->setChecked(false);
        dlg.accept();
        return dlg.result();
    });
    ops.OnOptions();
    EXPECT_TRUE(sawInitial) << "the dialog starts from m_soundOn and the stored psave";
    EXPECT_FALSE(t.w().soundOn());
    EXPECT_EQ(t.settings->ReadNumber(QStringLiteral("sound")), 0);
    EXPECT_EQ(t.settings->ReadNumber(QStringLiteral("psave")), 0);
    EXPECT_EQ(t.settings->ReadString(QStringLiteral("username")), QStringLiteral("alice"));
    EXPECT_EQ(t.settings->ReadString(QStringLiteral("password")), QStringLiteral("s3cret"));
}

TEST(Options, CancelChangesNothingAndMissingPsaveStartsUnchecked) {
    TestWindow t;
    t.w().SetSoundOn(false);
    bool savePasswordChecked = true;
    OptionOps ops(t.w(), [&](COptionDlg& dlg) {
        dlg.show();
        savePasswordChecked = dlg.savePasswordBox()->isChecked();
        dlg.soundBox()->setChecked(true);
        dlg.reject();
        return dlg.result();
    });
    ops.OnOptions();
    EXPECT_FALSE(savePasswordChecked);
    EXPECT_FALSE(t.w().soundOn());
    EXPECT_EQ(t.settings->ReadNumber(QStringLiteral("sound")), std::nullopt);
}

TEST(Options, DialogOpensAtTheWindowsCentreLineAboveItsBottom) {
    TestWindow t;
    t.w().setGeometry(100, 120, 600, 500);
    t.w().show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&t.w()));
    const QRect frame = t.w().frameGeometry();
    QPoint opened;
    QString title;
    OptionOps ops(t.w(), [&](COptionDlg& dlg) {
        dlg.show();
        opened = dlg.frameGeometry().topLeft();
        title = dlg.windowTitle();
        return int(QDialog::Rejected);
    });
    ops.OnOptions();
    EXPECT_EQ(opened, QPoint((frame.left() + frame.left() + frame.width()) / 2,
                             frame.top() + frame.height() - 220));
    EXPECT_EQ(title, QStringLiteral("Option Dialog"));

    COptionDlg unplaced;
    unplaced.show();
    EXPECT_EQ(unplaced.frameGeometry().topLeft(), QPoint(250, 250));
}

TEST(Options, TheSkinIsChosenBelowTheOtherControlsAndKeptForTheNextStart) {
    TestWindow t;
    ASSERT_TRUE(t.settings->WriteSkin(QStringLiteral("classic")));
    QString shown;
    QStringList offered;
    QString reachedName;
    OptionOps ops(t.w(), [&](COptionDlg& dlg) {
        dlg.show();
        dlg.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&dlg));
        QComboBox* skins = dlg.skinBox();
        shown = skins->currentText();
        for (int i = 0; i < skins->count(); ++i) offered << skins->itemText(i);
        // Below the password page button in the Tab order, as in the layout.
        dlg.findChild<QPushButton*>(QStringLiteral("ctl1036"))->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        if (QApplication::focusWidget())
            reachedName = QApplication::focusWidget()->accessibleName();
        skins->setCurrentText(QStringLiteral("default"));
        dlg.accept();
        return dlg.result();
    });
    ops.OnOptions();
    EXPECT_EQ(shown, QStringLiteral("classic"));
    EXPECT_EQ(offered, (QStringList{QStringLiteral("default"), QStringLiteral("classic")}));
    EXPECT_EQ(reachedName, QStringLiteral("Skin"));
    EXPECT_EQ(t.settings->ReadSkin(), QStringLiteral("default"));

    // Cancel keeps the stored choice; an unknown stored name shows the default skin.
    ASSERT_TRUE(t.settings->WriteSkin(QStringLiteral("neon")));
    OptionOps cancelled(t.w(), [&](COptionDlg& dlg) {
        dlg.show();
        shown = dlg.skinBox()->currentText();
        dlg.skinBox()->setCurrentText(QStringLiteral("classic"));
        dlg.reject();
        return dlg.result();
    });
    cancelled.OnOptions();
    EXPECT_EQ(shown, QStringLiteral("default"));
    EXPECT_EQ(t.settings->ReadSkin(), QStringLiteral("neon"));
}

TEST(Options, PagesOpenInTheUsersBrowser) {
    TestWindow t;
    OptionOps ops(t.w(), [&](COptionDlg& dlg) {
        dlg.findChild<QPushButton*>(QStringLiteral("ctl1036"))->click();
        return int(QDialog::Rejected);
    });
    ops.OpenServiceHomePage();
    ops.OpenSiblingHomePage();
    ops.OnOptions();
    const Endpoints& e = t.w().endpoints();
    EXPECT_EQ(t.desktop.opened,
              (QStringList{e.ServiceHomePage(), e.SiblingHomePage(), e.PasswordPage()}));
    EXPECT_TRUE(t.desktop.opened.last().endsWith(QStringLiteral("/ch/query/index.asp")));
}

TEST(Options, HelpTopicUsesPathOrTheWorkingFolder) {
    TestWindow t;
    OptionOps ops(t.w());
    ops.ShowHelpTopic();
    ASSERT_EQ(t.desktop.help.size(), 1);
    EXPECT_EQ(t.desktop.help[0],
              QDir::currentPath() + QStringLiteral("/zorvi.chm::/ZorviOverview.htm"));

    QDir().mkpath(QFileInfo(t.settings->machineFile()).path());
    QSettings machine(t.settings->machineFile(), QSettings::IniFormat);
    machine.setValue(QStringLiteral("1.1b/Path"), QStringLiteral("/opt/zorvi"));
    machine.sync();
    ops.ShowHelpTopic();
    ASSERT_EQ(t.desktop.help.size(), 2);
    EXPECT_EQ(t.desktop.help[1], QStringLiteral("/opt/zorvi/zorvi.chm::/ZorviOverview.htm"));
}

}  // namespace
