#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QStyleOptionButton>
#include <QTest>
#include <functional>
#include <memory>

#include "login/login_dlg.h"
#include "rooms/find_dlg.h"
#include "rooms/new_room_dlg.h"
#include "rooms/private_message_dlg.h"
#include "shell/about_dlg.h"
#include "shell/option_dlg.h"
#include "support/fakes.h"
#include "ui/progress_dlg.h"

namespace {

// Set in the copy of this program that runs at a scale factor; the scale must be chosen
// before the application object exists, so it takes a process of its own.
constexpr char kScaleChild[] = "KV_DIALOG_SCALE_CHILD";

QString Describe(const QWidget& w, const QString& text, const QSize& need, const QRect& room) {
    return QStringLiteral("%1 \"%2\" needs %3x%4, has %5x%6")
        .arg(w.objectName(), text)
        .arg(need.width())
        .arg(need.height())
        .arg(room.width())
        .arg(room.height());
}

// The texts of `dialog` that do not fit the room their control gives them.
QStringList ClippedTexts(const QWidget& dialog) {
    QStringList clipped;
    for (const QLabel* label : dialog.findChildren<QLabel*>()) {
        if (!label->isVisibleTo(&dialog) || label->text().isEmpty()) continue;
        const QRect room = label->contentsRect();
        const QSize need =
            label->wordWrap()
                ? QSize(room.width(), label->fontMetrics()
                                          .boundingRect(room, Qt::TextWordWrap, label->text())
                                          .height())
                : label->fontMetrics().size(Qt::TextShowMnemonic, label->text());
        if (need.width() > room.width() || need.height() > room.height())
            clipped << Describe(*label, label->text(), need, room);
    }
    for (const QAbstractButton* button : dialog.findChildren<QAbstractButton*>()) {
        if (!button->isVisibleTo(&dialog) || button->text().isEmpty()) continue;
        // The rectangle the style draws the text in, as it paints this button.
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        option.icon = button->icon();
        option.iconSize = button->iconSize();
        QStyle::SubElement contents = QStyle::SE_PushButtonContents;
        if (qobject_cast<const QCheckBox*>(button)) contents = QStyle::SE_CheckBoxContents;
        if (qobject_cast<const QRadioButton*>(button)) contents = QStyle::SE_RadioButtonContents;
        QRect room = button->style()->subElementRect(contents, &option, button);
        if (!button->icon().isNull()) room.setLeft(room.left() + button->iconSize().width() + 4);
        const QSize need = button->fontMetrics().size(Qt::TextShowMnemonic, button->text());
        if (need.width() > room.width() || need.height() > room.height())
            clipped << Describe(*button, button->text(), need, room);
    }
    return clipped;
}

// Every dialog of the program, shown at the running scale factor, with all of its texts
// fitting their controls.
TEST(DialogsAtScale, TextsFitTheirControls) {
    if (!qEnvironmentVariableIsSet(kScaleChild)) GTEST_SKIP() << "runs inside DialogTexts";
    ASSERT_EQ(qApp->devicePixelRatio(), qEnvironmentVariable("QT_SCALE_FACTOR").toDouble());
    FakeDesktop desktop;
    FakeMessageBox box;
    const std::function<std::unique_ptr<QWidget>()> dialogs[] = {
        [&] {
            return std::make_unique<CLoginDlg>(QStringLiteral("chat.example"), QString(),
                                               QStringLiteral("http://example/"), desktop);
        },
        [] { return std::make_unique<CProgressDlg>(QStringLiteral("Processing Login....")); },
        [] { return std::make_unique<COptionDlg>(); },
        [] { return std::make_unique<CAboutDlg>(); },
        [] { return std::make_unique<CNewRoomDlg>(); },
        [] { return std::make_unique<CFindDlg>(); },
        [&] { return std::make_unique<CPrivateMessageDlg>(&box); },
    };
    for (const auto& make : dialogs) {
        const std::unique_ptr<QWidget> dialog = make();
        SCOPED_TRACE(dialog->metaObject()->className());
        dialog->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get(), 5000));
        EXPECT_EQ(ClippedTexts(*dialog), QStringList());
        // The login dialog's second half, shown by More.
        if (auto* more = dialog->findChild<QPushButton*>(QStringLiteral("moreLessButton"))) {
            more->click();
            EXPECT_EQ(ClippedTexts(*dialog), QStringList());
        }
    }
}

// Runs the case above in a copy of this program at scale factors 1.5 and 2.
TEST(DialogTexts, FitAtHighScaleFactors) {
    if (qEnvironmentVariableIsSet(kScaleChild)) GTEST_SKIP() << "already the scaled copy";
    for (const char* scale : {"1.5", "2"}) {
        SCOPED_TRACE(scale);
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QString::fromLatin1(kScaleChild), QStringLiteral("1"));
        env.insert(QStringLiteral("QT_SCALE_FACTOR"), QString::fromLatin1(scale));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--gtest_filter=DialogsAtScale.*")});
        ASSERT_TRUE(child.waitForStarted(10000));
        const bool finished = child.waitForFinished(60000);
        if (!finished) child.kill();
        const std::string output = QString::fromLocal8Bit(child.readAll()).toStdString();
        ASSERT_TRUE(finished) << output;
        EXPECT_EQ(child.exitCode(), 0) << output;
        EXPECT_NE(output.find("[  PASSED  ] 1 test"), std::string::npos) << output;
    }
}

}  // namespace
