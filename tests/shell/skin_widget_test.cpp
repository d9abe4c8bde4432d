#include "shell/skin_widget.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAccessible>
#include <QFrame>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>
#include <memory>

#include "shell/skin_loader.h"

namespace {

// Every element name the program presses or commands.
const char* const kDispatchNames[] = {
    "closeEffectButton", "zorviButton",   "pelbrookButton", "leftButton",      "backEffectButton",
    "sendEffectButton",  "EffectButton",  "LeftWingButton", "RightWingButton", "assignButton",
    "optionButton",      "findButton",    "helpButton",     "newButton",       "changeButton",
    "MinimizeButton",    "refreshButton", "sendButton",     "privateButton",   "playMedia",
    "pauseMedia",        "stopMedia",     "MediaButton",    "closeMediaButton"};

const char* const kWingStates[][3] = {{"channelWing", "showChannelWing", "hideChannelWing"},
                                      {"buttonWing", "showButtonWing", "hideButtonWing"},
                                      {"effectWing", "showEffectWing", "hideEffectWing"},
                                      {"mediaWing", "showMediaWing", "hideMediaWing"}};

QString S(const char* s) { return QString::fromLatin1(s); }

class SkinWidgetTest : public ::testing::Test {
protected:
    void SetUp() override { UseSkin(SkinLoader::DefaultSkinPath()); }

    // Today's template layout lives on as the classic skin.
    void UseSkin(const QString& path) {
        QString error;
        const auto model = SkinLoader::FromFile(path, &error);
        ASSERT_TRUE(model) << error.toStdString();
        skin = std::make_unique<SkinWidget>(*model);
        skin->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(skin.get()));
    }

    QAbstractButton* Button(const char* name) {
        return qobject_cast<QAbstractButton*>(skin->Element(S(name)));
    }

    // The pixel rectangle of a wing's element as placed on the face, for an open wing.
    QRect OnFace(QWidget* w) { return QRect(w->mapTo(skin.get(), QPoint(0, 0)), w->size()); }

    std::unique_ptr<SkinWidget> skin;
};

// Searches the accessibility tree the way a screen reader or GUI automation does.
QAccessibleInterface* FindAccessible(QAccessibleInterface* node, const QString& name) {
    if (!node) return nullptr;
    if (node->text(QAccessible::Name) == name) return node;
    for (int i = 0; i < node->childCount(); ++i) {
        if (QAccessibleInterface* hit = FindAccessible(node->child(i), name)) return hit;
    }
    return nullptr;
}

TEST_F(SkinWidgetTest, DefaultSkinOffersEveryNamedElementAndState) {
    for (const char* name : kDispatchNames) {
        QAbstractButton* b = Button(name);
        ASSERT_NE(b, nullptr) << name;
        QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(b);
        ASSERT_NE(iface, nullptr) << name;
        EXPECT_EQ(iface->text(QAccessible::Name), S(name));
        EXPECT_EQ(iface->role(), QAccessible::Button) << name;
    }
    for (const auto& wing : kWingStates) {
        ASSERT_NE(skin->wingHost(S(wing[0])), nullptr) << wing[0];
        for (int i = 1; i < 3; ++i) {
            skin->RunSkinCommand(QStringLiteral("stop;goto %1 %2").arg(S(wing[0]), S(wing[i])));
            EXPECT_EQ(skin->ElementState(S(wing[0])), S(wing[i]));
        }
    }
    for (const char* button :
         {"assignButton", "closeEffectButton", "EffectButton", "changeButton", "newButton"}) {
        skin->RunSkinCommand(QStringLiteral("goto %1 DisableButton").arg(S(button)));
        EXPECT_FALSE(Button(button)->isEnabled()) << button;
        skin->RunSkinCommand(QStringLiteral("goto %1 EnableButton").arg(S(button)));
        EXPECT_TRUE(Button(button)->isEnabled()) << button;
    }
    ASSERT_NE(qobject_cast<QLabel*>(skin->Element(QStringLiteral("name"))), nullptr);
    // Every element widget carries its element name for assistive technology.
    for (QWidget* child : skin->findChildren<QWidget*>()) {
        if (!child->objectName().isEmpty() && skin->Element(child->objectName()) == child) {
            EXPECT_EQ(child->accessibleName(), child->objectName());
        }
    }
}

TEST_F(SkinWidgetTest, CommandsRunWithEitherSeparatorAndIgnoreUnknownParts) {
    QAbstractButton* assign = Button("assignButton");
    QAbstractButton* fresh = Button("newButton");
    skin->RunSkinCommand(
        QStringLiteral("goto assignButton DisableButton;goto newButton DisableButton"));
    EXPECT_FALSE(assign->isEnabled());
    EXPECT_FALSE(fresh->isEnabled());
    skin->RunSkinCommand(
        QStringLiteral("goto assignButton EnableButton; goto newButton EnableButton"));
    EXPECT_TRUE(assign->isEnabled());
    EXPECT_TRUE(fresh->isEnabled());

    // Unknown elements, unknown states, an element without states and junk change nothing...
    const QString before = skin->ElementState(QStringLiteral("assignButton"));
    for (const char* junk :
         {"goto noSuchButton DisableButton", "goto assignButton Explode",
          "goto assignButton enablebutton", "goto name DisableButton",
          "goto chatDisplay DisableButton", "goto assignButton", "hide assignButton", ";;; ;"}) {
        skin->RunSkinCommand(S(junk));
        EXPECT_TRUE(assign->isEnabled()) << junk;
        EXPECT_EQ(skin->ElementState(QStringLiteral("assignButton")), before) << junk;
    }
    EXPECT_FALSE(skin->IsAnimating());
    // ...and do not stop the good statements around them.
    skin->RunSkinCommand(QStringLiteral("goto nowhere Anything; goto assignButton DisableButton"));
    EXPECT_FALSE(assign->isEnabled());
}

TEST_F(SkinWidgetTest, WingsSlideOpenAndShut) {
    UseSkin(SkinLoader::BuiltInSkinPath(QStringLiteral("classic")));
    QWidget* wing = skin->Element(QStringLiteral("channelWing"));
    ASSERT_NE(wing, nullptr);
    EXPECT_FALSE(wing->isVisible());  // closed at start
    skin->RunSkinCommand(QStringLiteral("goto channelWing showChannelWing"));
    EXPECT_TRUE(skin->IsAnimating());
    EXPECT_TRUE(wing->isVisible());
    const QRect open = skin->Units().Rect(427, 155, 120, 141);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !skin->IsAnimating(); }, 5000));
    EXPECT_LE(qAbs(wing->geometry().left() - open.left()), 1);
    EXPECT_LE(qAbs(wing->geometry().width() - open.width()), 1);
    EXPECT_TRUE(Button("newButton")->isVisible());

    skin->RunSkinCommand(QStringLiteral("goto channelWing hideChannelWing"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !wing->isVisible(); }, 5000));
    // A closed wing's buttons are out of reach.
    EXPECT_FALSE(Button("newButton")->isVisible());
}

TEST_F(SkinWidgetTest, StopMidAnimationLandsInTheCommandedState) {
    QWidget* wing = skin->Element(QStringLiteral("buttonWing"));
    skin->RunSkinCommand(QStringLiteral("goto buttonWing showButtonWing"));
    ASSERT_TRUE(skin->IsAnimating());
    const QRect open = skin->wingHost(QStringLiteral("buttonWing"))->geometry();
    EXPECT_NE(wing->size(), open.size());  // still on its way

    skin->RunSkinCommand(QStringLiteral("stop"));
    EXPECT_FALSE(skin->IsAnimating());
    EXPECT_EQ(wing->size(), open.size());
    EXPECT_TRUE(wing->isVisible());
    EXPECT_EQ(skin->ElementState(QStringLiteral("buttonWing")), QStringLiteral("showButtonWing"));

    // The closing sequence's form: stop whatever runs, then close.
    skin->RunSkinCommand(QStringLiteral("goto buttonWing hideButtonWing"));
    ASSERT_TRUE(skin->IsAnimating());
    skin->RunSkinCommand(QStringLiteral("stop; goto buttonWing showButtonWing"));
    skin->RunSkinCommand(QStringLiteral("stop; goto buttonWing hideButtonWing"));
    skin->RunSkinCommand(QStringLiteral("stop"));
    EXPECT_FALSE(skin->IsAnimating());
    EXPECT_FALSE(wing->isVisible());
    EXPECT_TRUE(wing->size().isEmpty());
    // A stop with nothing running is harmless.
    skin->RunSkinCommand(QStringLiteral("stop"));
    EXPECT_FALSE(wing->isVisible());
}

TEST_F(SkinWidgetTest, DisabledButtonsRaiseNoEventsEnabledOnesRaiseTheirName) {
    QSignalSpy spy(skin.get(), &SkinWidget::buttonPressed);
    QAbstractButton* send = Button("sendButton");
    skin->RunSkinCommand(QStringLiteral("goto sendButton DisableButton"));
    QTest::mouseClick(send, Qt::LeftButton);
    send->click();
    EXPECT_EQ(spy.count(), 0);

    skin->RunSkinCommand(QStringLiteral("goto sendButton EnableButton"));
    QTest::mouseClick(send, Qt::LeftButton);
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.at(0).at(0).toString(), QStringLiteral("sendButton"));
}

TEST_F(SkinWidgetTest, ButtonsAreReachedWithTabAndPressedWithSpaceOrEnter) {
    skin->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(skin.get()));
    QSignalSpy spy(skin.get(), &SkinWidget::buttonPressed);
    QStringList reached;
    Button("leftButton")->setFocus();
    for (int i = 0; i < 40; ++i) {
        QWidget* focus = QApplication::focusWidget();
        ASSERT_NE(focus, nullptr);
        reached << focus->objectName();
        QTest::keyClick(focus, Qt::Key_Tab);
    }
    EXPECT_TRUE(reached.contains(QStringLiteral("sendButton")));
    EXPECT_TRUE(reached.contains(QStringLiteral("RightWingButton")));
    EXPECT_FALSE(reached.contains(QStringLiteral("newButton")));  // its wing is closed

    QAbstractButton* send = Button("sendButton");
    send->setFocus();
    QTest::keyClick(send, Qt::Key_Space);
    QTest::keyClick(send, Qt::Key_Return);
    QTest::keyClick(send, Qt::Key_Enter);
    EXPECT_EQ(spy.count(), 3);
    skin->RunSkinCommand(QStringLiteral("goto sendButton DisableButton"));
    QTest::keyClick(send, Qt::Key_Return);
    EXPECT_EQ(spy.count(), 3);
}

TEST_F(SkinWidgetTest, AccessibleNamesFindAndPressElements) {
    QSignalSpy spy(skin.get(), &SkinWidget::buttonPressed);
    QAccessibleInterface* root = QAccessible::queryAccessibleInterface(skin.get());
    QAccessibleInterface* button = FindAccessible(root, QStringLiteral("RightWingButton"));
    ASSERT_NE(button, nullptr);
    ASSERT_NE(button->actionInterface(), nullptr);
    button->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    ASSERT_TRUE(QTest::qWaitFor([&] { return spy.count() == 1; }, 5000))
        << spy.count();  // the press is animated
    EXPECT_EQ(spy.at(0).at(0).toString(), QStringLiteral("RightWingButton"));
    EXPECT_NE(FindAccessible(root, QStringLiteral("channelWing")), nullptr);
    EXPECT_NE(FindAccessible(root, QStringLiteral("name")), nullptr);
}

TEST_F(SkinWidgetTest, OwnScriptsOpenAndCloseTheirWingsBeforeTheEvent) {
    QSignalSpy spy(skin.get(), &SkinWidget::buttonPressed);
    Button("MediaButton")->click();
    EXPECT_EQ(skin->ElementState(QStringLiteral("mediaWing")), QStringLiteral("showMediaWing"));
    skin->RunSkinCommand(QStringLiteral("stop"));
    Button("closeMediaButton")->click();
    EXPECT_EQ(skin->ElementState(QStringLiteral("mediaWing")), QStringLiteral("hideMediaWing"));
    ASSERT_EQ(spy.count(), 2);
    EXPECT_EQ(spy.at(1).at(0).toString(), QStringLiteral("closeMediaButton"));
}

TEST_F(SkinWidgetTest, NameShowsTheNicknameAsPlainText) {
    const QString nick = QStringLiteral("<b>Zo\u00eb</b>");
    skin->SetSkinElementText(QStringLiteral("name"), nick);
    EXPECT_EQ(skin->ElementText(QStringLiteral("name")), nick);
    auto* label = qobject_cast<QLabel*>(skin->Element(QStringLiteral("name")));
    EXPECT_EQ(label->textFormat(), Qt::PlainText);
    skin->SetSkinElementText(QStringLiteral("noSuchElement"), nick);  // ignored
    skin->SetSkinElementText(QStringLiteral("chatDisplay"), nick);    // a slot shows nothing
    EXPECT_EQ(skin->ElementText(QStringLiteral("chatDisplay")), QString());
}

TEST_F(SkinWidgetTest, ControlsGoIntoSlotsAtTheirTemplatePositions) {
    UseSkin(SkinLoader::BuiltInSkinPath(QStringLiteral("classic")));
    const DialogUnits& du = skin->Units();
    struct Slot {
        const char* name;
        const char* wing;
        QRect dlu;
    };
    const Slot slotList[] = {{"chatDisplay", nullptr, {221, 167, 138, 81}},
                             {"chatInput", nullptr, {221, 250, 137, 21}},
                             {"portal", nullptr, {115, 177, 103, 89}},
                             {"userList", nullptr, {362, 185, 57, 86}},
                             {"roomTitle", nullptr, {224, 141, 83, 12}},
                             {"channelList", "channelWing", {437, 183, 60, 77}},
                             {"mediaPlayer", "mediaWing", {41, 49, 116, 93}},
                             {"effectPane", "effectWing", {380, 52, 116, 91}}};
    skin->RunSkinCommand(
        QStringLiteral("goto channelWing showChannelWing;goto mediaWing showMediaWing;"
                       "goto effectWing showEffectWing;stop"));
    for (const Slot& s : slotList) {
        auto* placed = new QWidget;
        ASSERT_TRUE(skin->PlaceInSlot(placed, S(s.name))) << s.name;
        EXPECT_EQ(placed->parentWidget(), s.wing ? skin->wingHost(S(s.wing)) : skin.get())
            << s.name;
        EXPECT_TRUE(placed->isVisible()) << s.name;
        const QRect want = du.Rect(s.dlu.x(), s.dlu.y(), s.dlu.width(), s.dlu.height());
        const QRect got = OnFace(placed);
        EXPECT_LE(qAbs(got.left() - want.left()), 1) << s.name;
        EXPECT_LE(qAbs(got.top() - want.top()), 1) << s.name;
        EXPECT_LE(qAbs(got.width() - want.width()), 1) << s.name;
        EXPECT_LE(qAbs(got.height() - want.height()), 1) << s.name;
    }
    auto hidden = std::make_unique<QWidget>(skin.get());
    hidden->hide();
    ASSERT_TRUE(skin->PlaceInSlot(hidden.get(), QStringLiteral("effectPane")));
    EXPECT_TRUE(hidden->isHidden());  // a pane the window hid stays hidden
    QWidget stray;
    EXPECT_FALSE(skin->PlaceInSlot(&stray, QStringLiteral("noSuchSlot")));
    EXPECT_FALSE(skin->PlaceInSlot(&stray, QStringLiteral("sendButton")));
    EXPECT_EQ(skin->wingHost(QStringLiteral("sendButton")), nullptr);
}

TEST_F(SkinWidgetTest, PaintsTheFaceAndShowsDisabledButtonsDifferently) {
    const QString shot = qEnvironmentVariable("KV_SKIN_SCREENSHOT");
    const QImage closed = skin->grab().toImage();
    if (!shot.isEmpty()) closed.save(shot + QStringLiteral(".closed.png"));
    skin->RunSkinCommand(
        QStringLiteral("goto buttonWing showButtonWing;goto channelWing showChannelWing;"
                       "goto mediaWing showMediaWing;goto effectWing showEffectWing;stop;"
                       "goto assignButton DisableButton"));
    skin->SetSkinElementText(QStringLiteral("name"), QStringLiteral("Marta"));
    // White stand-ins for the window's controls, so the picture shows the whole face.
    for (const char* slot : {"chatDisplay", "chatInput", "portal", "userList", "roomTitle",
                             "channelList", "mediaPlayer", "effectPane"}) {
        auto* control = new QFrame;
        control->setFrameShape(QFrame::StyledPanel);
        control->setAutoFillBackground(true);
        control->setPalette(QPalette(Qt::white));
        ASSERT_TRUE(skin->PlaceInSlot(control, S(slot)));
    }
    const QImage face = skin->grab().toImage();
    ASSERT_EQ(face.size(), skin->size() * face.devicePixelRatio());
    if (!shot.isEmpty()) face.save(shot);
    EXPECT_NE(face, closed);
    // A background and some differently coloured parts.
    QSet<QRgb> colours;
    for (int y = 0; y < face.height(); y += 7)
        for (int x = 0; x < face.width(); x += 7) colours.insert(face.pixel(x, y));
    EXPECT_GT(colours.size(), 10);

    QAbstractButton* send = Button("sendButton");
    const QImage enabled = send->grab().toImage();
    skin->RunSkinCommand(QStringLiteral("goto sendButton DisableButton"));
    EXPECT_NE(send->grab().toImage(), enabled);
}

}  // namespace
