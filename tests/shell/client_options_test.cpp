// This client's own options and keys: the time stamps option with its setting, the
// transcript that stays free of times, and the wing shortcuts with their help entry.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QPlainTextEdit>
#include <QSettings>
#include <QTest>
#include <optional>

#include "app/settings_store.h"
#include "shell/chm_file.h"
#include "shell/option_dlg.h"
#include "shell/option_ops.h"
#include "shell/save_file_dialog.h"
#include "shell/transcript.h"
#include "shell/wing_shortcuts.h"
#include "support/test_window.h"

namespace {

TEST(TimestampsOption, OffByDefaultStoredInOurOwnGroupAndAppliedToTheWindow) {
    TestWindow t;
    ASSERT_TRUE(t.settings->CreateUserKey());
    EXPECT_FALSE(t.settings->ReadTimestamps()) << "off while unset";

    auto run = [&](std::optional<bool> check, bool accept) {
        bool shownChecked = true;
        QString name;
        OptionOps ops(t.w(), [&](COptionDlg& dlg) {
            dlg.show();
            shownChecked = dlg.timestampsBox()->isChecked();
            name = dlg.timestampsBox()->accessibleName();
            if (check) dlg.timestampsBox()->setChecked(*check);
            if (accept)
                dlg.accept();
            else
                dlg.reject();
            return dlg.result();
        });
        ops.OnOptions();
        EXPECT_FALSE(name.isEmpty()) << "the box has an accessible name";
        return shownChecked;
    };
    EXPECT_FALSE(run(true, false)) << "the box starts off";
    EXPECT_FALSE(t.w().Timestamps()) << "Cancel changes nothing";
    EXPECT_FALSE(t.settings->ReadTimestamps());

    EXPECT_FALSE(run(true, true));
    EXPECT_TRUE(t.w().Timestamps());
    EXPECT_TRUE(SettingsStore(t.settings->userFile(), t.settings->machineFile()).ReadTimestamps());
    QSettings file(t.settings->userFile(), QSettings::IniFormat);
    EXPECT_EQ(file.value(QStringLiteral("Kestrivan/timestamps")).toString(),
              QStringLiteral("true"));
    EXPECT_FALSE(file.contains(QStringLiteral("1.1b/timestamps"))) << "group 1.1b is left alone";
    file.beginGroup(QStringLiteral("1.1b"));
    QStringList keys = file.childKeys();
    keys.sort();
    EXPECT_EQ(keys, QStringList({QStringLiteral("password"), QStringLiteral("psave"),
                                 QStringLiteral("sound"), QStringLiteral("username")}));
    file.endGroup();

    EXPECT_TRUE(run(false, true)) << "the box shows the window's current choice";
    EXPECT_FALSE(t.w().Timestamps());
    EXPECT_FALSE(t.settings->ReadTimestamps());
}

class AnsweringSaveDialog : public ISaveFileDialog {
public:
    std::optional<QString> AskSaveFileName(QWidget*, const SaveFileRequest&) override {
        return path;
    }
    QString path;
};

TEST(TimestampsOption, TheSavedTranscriptHoldsTheLinesWithoutTimes) {
    TestWindow t;
    t.w().m_chatDisplay->setPlainText(QStringLiteral(" Welcome me! \n\nhello\n"));
    t.w().SetTimestamps(true);
    t.w().AppendChatLine(QStringLiteral("bob: [10:00] hi http://example.org/"));
    t.w().AppendChatLine(QStringLiteral("\r\n"));
    t.w().AppendChatLine(QStringLiteral("a\r\nb"));
    ASSERT_TRUE(t.w().m_chatDisplay->toPlainText().contains(QStringLiteral("[13:05] a")));

    AnsweringSaveDialog dialog;
    dialog.path = t.dir.filePath(QStringLiteral("talk.txt"));
    Transcript transcript(*t.w().m_chatDisplay, &t.w(), t.clock, dialog);
    ASSERT_TRUE(transcript.SaveTranscript());
    QFile saved(dialog.path);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(
        saved.readAll(),
        QByteArray(" Welcome me! \n\nhello\nbob: [10:00] hi http://example.org/\n\n\na\nb\n"));
}

TEST(WingShortcuts, AltDigitsPressTheWingButtonsAndTheHelpListsThem) {
    QWidget window;
    QStringList pressed;
    WingShortcuts::Install(window, [&](const QString& element) { pressed << element; });
    window.show();
    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window, 5000));
    for (Qt::Key key : {Qt::Key_4, Qt::Key_1, Qt::Key_2, Qt::Key_3})
        QTest::keyClick(&window, key, Qt::AltModifier);
    QTest::keyClick(&window, Qt::Key_5, Qt::AltModifier);
    QTest::keyClick(&window, Qt::Key_1);
    EXPECT_EQ(pressed,
              QStringList({QStringLiteral("MediaButton"), QStringLiteral("RightWingButton"),
                           QStringLiteral("LeftWingButton"), QStringLiteral("EffectButton")}));

    ChmFile help(QStringLiteral(KV_BUILD_DIR "/zorvi.chm"));
    ASSERT_TRUE(help.isOpen());
    const std::optional<QByteArray> page = help.Read(QStringLiteral("/Options.htm"));
    ASSERT_TRUE(page);
    EXPECT_TRUE(page->contains("Keyboard"));
    for (const WingShortcuts::Wing& wing : WingShortcuts::kWings)
        EXPECT_TRUE(page->contains(wing.keys)) << wing.keys;
    for (const char* key : {"Ctrl+F", "Tab", "Up, Down"}) EXPECT_TRUE(page->contains(key)) << key;
}

}  // namespace
